// What a TCP peer has acknowledged, from the kernel's own count. Apart from
// the other connection code: the kernel's header, which has the count, and
// the C library's, which has not, cannot be included together.
#include <linux/tcp.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace lumarin {

std::optional<std::uint64_t> tcp_bytes_acked(int fd) noexcept
{
    tcp_info info{};
    socklen_t size = sizeof info;
    if (::getsockopt(fd, 6 /* IPPROTO_TCP */, TCP_INFO, &info, &size) != 0 ||
        size < offsetof(tcp_info, tcpi_bytes_acked) + sizeof info.tcpi_bytes_acked)
        return std::nullopt;
    return info.tcpi_bytes_acked;
}

}  // namespace lumarin
