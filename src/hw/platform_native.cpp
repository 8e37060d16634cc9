// The machine's own configuration ports and physical memory. Kept apart from
// probe.h: the C library's <sys/io.h> declares a C function of the same name
// as the probe's privilege call.
#include "hw/platform.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/paths.h"

#if defined(__linux__) && (defined(__x86_64__) || defined(__i386__))
#include <sys/io.h>
#define CVX_PORTS_LINUX 1
#elif defined(__FreeBSD__) && (defined(__x86_64__) || defined(__i386__))
#define CVX_PORTS_FREEBSD 1
#endif

namespace cvx::hw {

namespace {

#if defined(__x86_64__) || defined(__i386__)
inline uint32_t port_in32(uint16_t port)
{
    uint32_t v;
    __asm__ __volatile__("inl %w1, %0" : "=a"(v) : "Nd"(port));
    return v;
}
inline void port_out32(uint16_t port, uint32_t v)
{
    __asm__ __volatile__("outl %0, %w1" : : "a"(v), "Nd"(port));
}
#endif

class NativePlatform final : public Platform {
public:
    ~NativePlatform() override
    {
        if (m_held)
            release_io();
    }

    bool acquire_io() override
    {
#if defined(CVX_PORTS_LINUX)
        // Only the eight configuration ports, not the whole I/O space.
        m_held = ioperm(kPciConfigAddress, 8, 1) == 0;
#elif defined(CVX_PORTS_FREEBSD)
        // Holding /dev/io open is what grants the privilege there.
        m_io = std::fopen(cvx::paths::dev_io().c_str(), "r+");
        m_held = m_io != nullptr;
#else
        m_held = false;
#endif
        return m_held;
    }

    void release_io() override
    {
#if defined(CVX_PORTS_LINUX)
        ioperm(kPciConfigAddress, 8, 0);
#elif defined(CVX_PORTS_FREEBSD)
        if (m_io)
            std::fclose(m_io);
        m_io = nullptr;
#endif
        m_held = false;
    }

    // Without the privilege a port instruction would kill the process; such
    // a call answers like an empty slot instead.
    uint32_t in32(uint16_t port) override
    {
#if defined(CVX_PORTS_LINUX) || defined(CVX_PORTS_FREEBSD)
        if (m_held)
            return port_in32(port);
#endif
        return 0xFFFFFFFFu;
    }

    void out32(uint16_t port, uint32_t value) override
    {
#if defined(CVX_PORTS_LINUX) || defined(CVX_PORTS_FREEBSD)
        if (m_held)
            port_out32(port, value);
#endif
    }

    MemoryWindow read_memory(uint64_t physical, size_t length) override
    {
        MemoryWindow w;
        // Read-only: the probe never writes the ROM.
        int fd = ::open(cvx::paths::dev_mem().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            w.status = MemoryStatus::open_failed;
            w.error = errno;
            return w;
        }
        const long page = ::sysconf(_SC_PAGESIZE) > 0 ? ::sysconf(_SC_PAGESIZE) : 4096;
        const uint64_t start = physical - physical % static_cast<uint64_t>(page);
        const size_t lead = static_cast<size_t>(physical - start);
        struct stat st {};
        bool ok = ::fstat(fd, &st) == 0;
        // A plain file standing in for the device must cover the window, or
        // touching the mapping past its end would raise SIGBUS.
        if (ok && S_ISREG(st.st_mode) &&
            (static_cast<uint64_t>(st.st_size) < physical || static_cast<uint64_t>(st.st_size) - physical < length))
            ok = false;
        void* map = MAP_FAILED;
        if (ok && start <= static_cast<uint64_t>(INT64_MAX))
            map = ::mmap(nullptr, length + lead, PROT_READ, MAP_SHARED, fd, static_cast<off_t>(start));
        if (map == MAP_FAILED) {
            w.status = MemoryStatus::map_failed;
            w.error = ok ? errno : EINVAL;
            ::close(fd);
            return w;
        }
        // Byte by byte through a volatile pointer: device memory may not
        // take the wide accesses a memcpy would make.
        const volatile uint8_t* src = static_cast<const volatile uint8_t*>(map) + lead;
        w.bytes.resize(length);
        for (size_t i = 0; i < length; ++i)
            w.bytes[i] = src[i];
        ::munmap(map, length + lead);
        ::close(fd);
        return w;
    }

private:
    bool m_held = false;
#if defined(CVX_PORTS_FREEBSD)
    std::FILE* m_io = nullptr;
#endif
};

}  // namespace

std::unique_ptr<Platform> make_native_platform() { return std::make_unique<NativePlatform>(); }

}  // namespace cvx::hw
