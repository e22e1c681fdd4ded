#pragma once

#include "PluginEditor.h"

#include <vector>

namespace tarrowby::test
{
/** Sets the process's plug-in wrapper type for a scope and puts the old one back. */
class ScopedWrapperType
{
public:
    explicit ScopedWrapperType (juce::AudioProcessor::WrapperType type = juce::AudioProcessor::wrapperType_Standalone)
        : previous (juce::PluginHostType::jucePlugInClientCurrentWrapperType)
    {
        juce::PluginHostType::jucePlugInClientCurrentWrapperType = type;
    }

    ~ScopedWrapperType() { juce::PluginHostType::jucePlugInClientCurrentWrapperType = previous; }

private:
    juce::AudioProcessor::WrapperType previous;
};

/** Replaces the processor's uiState child with the given one (none when invalid). */
inline void replaceUiState (JuceDemoPluginAudioProcessor& processor, const juce::ValueTree& uiState)
{
    auto state = processor.parameters.copyState();
    state.removeChild (state.getChildWithName ("uiState"), nullptr);

    if (uiState.isValid())
        state.appendChild (uiState, nullptr);

    processor.parameters.replaceState (state);
}

inline void setEditorSize (JuceDemoPluginAudioProcessor& processor, int width, int height)
{
    replaceUiState (processor, juce::ValueTree ("uiState", { { "width", width }, { "height", height } }));
}

/** One fill as the graphics context received it: untransformed area, colour and transform. */
struct DrawOp
{
    enum class Kind { intRect, floatRect, path, image };

    Kind kind;
    juce::Rectangle<float> area;
    juce::Colour colour;
    juce::AffineTransform transform;
};

/** A graphics context that paints nothing and records every fill. */
class RecordingContext : public juce::LowLevelGraphicsContext
{
public:
    explicit RecordingContext (juce::Rectangle<int> clipArea) : clip (clipArea) {}

    std::vector<DrawOp> ops;

    bool isVectorDevice() const override { return false; }
    void setOrigin (juce::Point<int> o) override { state.transform = juce::AffineTransform::translation (o).followedBy (state.transform); }
    void addTransform (const juce::AffineTransform& t) override { state.transform = t.followedBy (state.transform); }
    float getPhysicalPixelScaleFactor() override { return 1.0f; }
    bool clipToRectangle (const juce::Rectangle<int>&) override { return true; }
    bool clipToRectangleList (const juce::RectangleList<int>&) override { return true; }
    void excludeClipRectangle (const juce::Rectangle<int>&) override {}
    void clipToPath (const juce::Path&, const juce::AffineTransform&) override {}
    void clipToImageAlpha (const juce::Image&, const juce::AffineTransform&) override {}
    bool clipRegionIntersects (const juce::Rectangle<int>&) override { return true; }
    juce::Rectangle<int> getClipBounds() const override { return clip; }
    bool isClipEmpty() const override { return clip.isEmpty(); }
    void saveState() override { saved.push_back (state); }
    void restoreState() override { state = saved.back(); saved.pop_back(); }
    void beginTransparencyLayer (float) override {}
    void endTransparencyLayer() override {}
    void setFill (const juce::FillType& f) override { state.fill = f; }
    void setOpacity (float o) override { state.fill.setOpacity (o); }
    void setInterpolationQuality (juce::Graphics::ResamplingQuality) override {}
    void fillRect (const juce::Rectangle<int>& r, bool) override { record (DrawOp::Kind::intRect, r.toFloat()); }
    void fillRect (const juce::Rectangle<float>& r) override { record (DrawOp::Kind::floatRect, r); }
    void fillRectList (const juce::RectangleList<float>& list) override { for (auto& r : list) fillRect (r); }
    void fillPath (const juce::Path& p, const juce::AffineTransform&) override { record (DrawOp::Kind::path, p.getBounds()); }
    void drawImage (const juce::Image& image, const juce::AffineTransform& t) override
    {
        ops.push_back ({ DrawOp::Kind::image, image.getBounds().toFloat(), state.fill.colour, t.followedBy (state.transform) });
    }
    void drawLine (const juce::Line<float>&) override {}
    void setFont (const juce::Font& f) override { font = f; }
    const juce::Font& getFont() override { return font; }
    void drawGlyph (int, const juce::AffineTransform&) override {}

private:
    struct State { juce::AffineTransform transform; juce::FillType fill; };

    void record (DrawOp::Kind kind, juce::Rectangle<float> area) { ops.push_back ({ kind, area, state.fill.colour, state.transform }); }

    juce::Rectangle<int> clip;
    juce::Font font;
    State state;
    std::vector<State> saved;
};

/** Records what a component's own paint draws. */
inline std::vector<DrawOp> recordPaint (juce::Component& component)
{
    RecordingContext context (component.getLocalBounds());
    juce::Graphics g (context);
    component.paint (g);
    return context.ops;
}

/** Renders a component's own paint into a cleared ARGB image of its size. */
inline juce::Image renderPaint (juce::Component& component)
{
    juce::Image image (juce::Image::ARGB, component.getWidth(), component.getHeight(), true);
    juce::Graphics g (image);
    component.paint (g);
    return image;
}

/** True when two colours differ by at most the tolerance in every channel. */
inline bool coloursMatch (juce::Colour a, juce::Colour b, int tolerance = 2)
{
    const auto close = [tolerance] (int x, int y) { return std::abs (x - y) <= tolerance; };
    return close (a.getRed(), b.getRed()) && close (a.getGreen(), b.getGreen())
        && close (a.getBlue(), b.getBlue()) && close (a.getAlpha(), b.getAlpha());
}
} // namespace tarrowby::test
