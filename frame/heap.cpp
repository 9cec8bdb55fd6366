// The frame's heap: C++ allocations of the whole program come from the
// process heap, and one that cannot be satisfied ends the process through the
// error report, naming the size asked for.
#include "frame/frame.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {

[[noreturn]] void out_of_memory(std::size_t size)
{
    // A report that itself runs out of memory ends the process silently.
    static bool reporting = false;
    if (reporting)
        std::_Exit(-1);
    reporting = true;
    static char text[64];
    std::snprintf(text, sizeof text, "分配 %zu 字节内存失败!", size);
    frame::fatal(text);
}

void* allocate(std::size_t size)
{
    if (void* p = std::malloc(size ? size : 1))
        return p;
    out_of_memory(size);
}

}  // namespace

void* operator new(std::size_t size)
{
    return allocate(size);
}

void* operator new[](std::size_t size)
{
    return allocate(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size ? size : 1);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

// Over-aligned blocks: the block from malloc is kept just before the aligned
// address, so one free() path serves every C runtime.
void* allocate_aligned(std::size_t size, std::align_val_t align)
{
    const auto a = static_cast<std::size_t>(align);
    const std::size_t extra = a + sizeof(void*);
    if (size <= SIZE_MAX - extra)
        if (void* block = std::malloc(size + extra)) {
            auto address = (reinterpret_cast<std::uintptr_t>(block) + sizeof(void*) + a - 1) & ~(a - 1);
            reinterpret_cast<void**>(address)[-1] = block;
            return reinterpret_cast<void*>(address);
        }
    out_of_memory(size);
}

void free_aligned(void* p)
{
    if (p)
        std::free(static_cast<void**>(p)[-1]);
}

}  // namespace

void* operator new(std::size_t size, std::align_val_t align)
{
    return allocate_aligned(size, align);
}

void* operator new[](std::size_t size, std::align_val_t align)
{
    return allocate_aligned(size, align);
}

void operator delete(void* p, std::align_val_t) noexcept
{
    free_aligned(p);
}

void operator delete[](void* p, std::align_val_t) noexcept
{
    free_aligned(p);
}

void operator delete(void* p, std::size_t, std::align_val_t) noexcept
{
    free_aligned(p);
}

void operator delete[](void* p, std::size_t, std::align_val_t) noexcept
{
    free_aligned(p);
}
