#include "text/ByteSearch.h"

#include <algorithm>
#include <cstring>

namespace quillet::text {

const char* lastByte(const char* data, char byte, std::size_t length)
{
    constexpr std::size_t kWindow = 4096;
    while (length > 0) {
        const std::size_t chunk = std::min(length, kWindow);
#if defined(__GLIBC__)
        if (const void* hit = memrchr(data + length - chunk, byte, chunk))
            return static_cast<const char*>(hit);
#else
        for (std::size_t i = length; i-- > length - chunk;)
            if (data[i] == byte)
                return data + i;
#endif
        length -= chunk;
    }
    return nullptr;
}

} // namespace quillet::text
