#include "RegularFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace guards
{
FileRead readRegularFile (const juce::File& file, juce::int64 maximumSize, juce::MemoryBlock& destData)
{
    const auto path = file.getFullPathName();
    struct stat info = {};

    // Looked at before opening, so that no device is ever opened.
    if (::stat (path.toRawUTF8(), &info) != 0)
        return errno == ENOENT ? FileRead::absent : FileRead::failed;

    if (! S_ISREG (info.st_mode))
        return FileRead::notARegularFile;

    // Without waiting, and checked again once open, in case it was replaced by a pipe meanwhile.
    const auto fd = ::open (path.toRawUTF8(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);

    if (fd < 0)
        return FileRead::failed;

    const juce::ScopeGuard closeFile { [fd] { ::close (fd); } };

    if (::fstat (fd, &info) != 0)
        return FileRead::failed;

    if (! S_ISREG (info.st_mode))
        return FileRead::notARegularFile;

    // It may still grow while being read: the bound holds for what is read.
    juce::MemoryOutputStream bytes;
    char chunk[65536];

    for (;;)
    {
        const auto numRead = ::read (fd, chunk, sizeof (chunk));

        if (numRead == 0)
            break;

        if (numRead < 0)
        {
            if (errno == EINTR)
                continue;

            return FileRead::failed;
        }

        if ((juce::int64) (bytes.getDataSize() + (size_t) numRead) > maximumSize)
            return FileRead::tooLarge;

        bytes.write (chunk, (size_t) numRead);
    }

    destData.replaceAll (bytes.getData(), bytes.getDataSize());
    return FileRead::read;
}

namespace
{
/** A hidden name beside the target that is not taken yet, ".<start of the target's name>_temp<hex>",
    shortened at a character so that it fits in the 255 bytes of a name (NAME_MAX). */
juce::File makeTemporaryFileFor (const juce::File& target)
{
    constexpr int maximumNameBytes = 255;

    for (;;)
    {
        const auto tail = "_temp" + juce::String::toHexString (juce::Random::getSystemRandom().nextInt());
        auto start = target.getFileName();

        while (1 + start.getNumBytesAsUTF8() + tail.getNumBytesAsUTF8() > (size_t) maximumNameBytes)
            start = start.dropLastCharacters (1);

        const auto temporary = target.getSiblingFile ("." + start + tail);

        if (! temporary.exists() && ! temporary.isSymbolicLink())
            return temporary;
    }
}
} // namespace

bool replaceWithBytes (const juce::File& target, const juce::MemoryBlock& bytes)
{
    juce::TemporaryFile temp (target, makeTemporaryFileFor (target));
    bool written = false;

    {
        juce::FileOutputStream out (temp.getFile(), 8192);

        if (out.openedOk())
        {
            written = out.write (bytes.getData(), bytes.getSize());
            out.flush();
            written = written && out.getStatus().wasOk();
        }
    }

    // A write that stopped part-way must never replace the target.
    if (! written || temp.getFile().getSize() != (juce::int64) bytes.getSize())
        return false;

    return temp.overwriteTargetFileWithTemporary();
}
} // namespace guards
