#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <span>

// A malloc'd block that can grow and is freed when its owner goes out of scope.
// Growth reports failure instead of throwing, so callers print their own line.
struct HeapBuffer {
    std::byte* data = nullptr;
    size_t capacity = 0;
    size_t used = 0;

    HeapBuffer() = default;
    ~HeapBuffer() { std::free(data); }
    HeapBuffer(const HeapBuffer&) = delete;
    HeapBuffer& operator=(const HeapBuffer&) = delete;
    // Moved, the block goes with its new owner.
    HeapBuffer(HeapBuffer&& other) noexcept { *this = static_cast<HeapBuffer&&>(other); }
    HeapBuffer& operator=(HeapBuffer&& other) noexcept {
        if (this == &other) return *this;
        std::free(data);
        data = other.data;
        capacity = other.capacity;
        used = other.used;
        other.data = nullptr;
        other.capacity = other.used = 0;
        return *this;
    }

    // Makes room for at least `wanted` bytes in all; what is held stays.
    bool reserve(size_t wanted) {
        if (wanted <= capacity) return true;
        size_t grown = capacity ? capacity : 64;
        while (grown < wanted) grown *= 2;
        void* moved = std::realloc(data, grown);
        if (moved == nullptr) return false;
        data = static_cast<std::byte*>(moved);
        capacity = grown;
        return true;
    }

    bool append(const void* bytes, size_t length) {
        if (!reserve(used + length)) return false;
        std::memcpy(data + used, bytes, length);
        used += length;
        return true;
    }

    std::span<const std::byte> view() const { return {data, used}; }
};
