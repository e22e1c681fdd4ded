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
} // namespace guards
