// common/heap_array.h: a growable array of plain values on the process heap,
// for lists whose length only the system knows. No C runtime and no
// exceptions: a growth that fails is an answer the caller handles.
#pragma once
#include <windows.h>

#include <type_traits>

template <typename T>
class HeapArray {
    static_assert(std::is_trivially_copyable<T>::value, "moved by HeapReAlloc");

public:
    HeapArray() = default;
    ~HeapArray()
    {
        if (items_)
            HeapFree(GetProcessHeap(), 0, items_);
    }
    HeapArray(const HeapArray&) = delete;
    HeapArray& operator=(const HeapArray&) = delete;

    // Room for `capacity` items in all; false when the heap has none.
    bool Reserve(int capacity)
    {
        if (capacity <= capacity_)
            return true;
        if (capacity > kMostItems)
            return false;
        const SIZE_T bytes = static_cast<SIZE_T>(capacity) * sizeof(T);
        void* grown = items_ ? HeapReAlloc(GetProcessHeap(), 0, items_, bytes) : HeapAlloc(GetProcessHeap(), 0, bytes);
        if (!grown)
            return false;
        items_ = static_cast<T*>(grown);
        capacity_ = capacity;
        return true;
    }
    // False, with the array unchanged, when there is no room for it.
    bool Add(const T& item)
    {
        if (count_ == capacity_ && !Reserve(capacity_ ? capacity_ * 2 : 16))
            return false;
        items_[count_++] = item;
        return true;
    }
    bool Contains(const T& item) const
    {
        for (int i = 0; i < count_; ++i) {
            if (items_[i] == item)
                return true;
        }
        return false;
    }
    int Count() const { return count_; }
    const T& operator[](int index) const { return items_[index]; }
    // The items in order; null before anything was reserved.
    T* Data() { return items_; }
    const T* Data() const { return items_; }
    void Clear() { count_ = 0; }

private:
    // Far beyond any list the system gives, and small enough that its size
    // in bytes cannot overflow.
    static constexpr int kMostItems = 1 << 20;
    T* items_ = nullptr;
    int count_ = 0;
    int capacity_ = 0;
};
