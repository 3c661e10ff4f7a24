#pragma once
// A fixed-size table of zeros that costs nothing until it is used. A machine
// keeps several tables over the whole 64 K code or xram space (execution
// counts, decoded words, breakpoints, watches) of which a run touches a few
// pages. Filled at once, they made building a machine (every m51sim command,
// every test, every debug session) cost more than a short run: the system
// hands out a page on its first touch, and that is what costs. The memory is
// mapped fresh from the system, zero and untouched (calloc would reuse and
// clear freed heap memory, touching every page).

#include <cstddef>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>

#ifndef _WIN32
#include <sys/mman.h>
#endif

namespace sim {

template <class T>
class ZeroTable {
    static_assert(std::is_trivially_copyable_v<T>, "zero bytes must make a valid value");

public:
    explicit ZeroTable(size_t size) : m_size(size) { m_data = allocate(); }
    ~ZeroTable() { release(m_data); }
    ZeroTable(const ZeroTable&) = delete;
    ZeroTable& operator=(const ZeroTable&) = delete;

    T* data() { return m_data; }
    const T* data() const { return m_data; }
    size_t size() const { return m_size; }
    T* begin() { return m_data; }
    T* end() { return m_data + m_size; }
    const T* begin() const { return m_data; }
    const T* end() const { return m_data + m_size; }
    T& operator[](size_t i) { return m_data[i]; }
    const T& operator[](size_t i) const { return m_data[i]; }

    // Every entry zero again, by new untouched memory rather than by writing
    // over the old.
    void clear() { release(std::exchange(m_data, allocate())); }

private:
    size_t bytes() const { return m_size * sizeof(T); }
    T* allocate() const
    {
#ifndef _WIN32
        void* p = mmap(nullptr, bytes(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
#else
        void* p = std::calloc(m_size, sizeof(T));
        if (!p)
            throw std::bad_alloc();
#endif
        return static_cast<T*>(p);
    }
    void release(T* p) const
    {
#ifndef _WIN32
        munmap(p, bytes());
#else
        std::free(p);
#endif
    }

    T* m_data = nullptr;
    size_t m_size;
};

}  // namespace sim
