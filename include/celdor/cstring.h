// Celdor::CString: the wide (UTF-16) string of the exported interface.
//
// One pointer wide: it points at the terminated characters, which follow a small block holding
// the number of owners and the length. Copies share the characters; the count changes
// atomically, so copies may be kept and dropped on different threads. A change to a shared
// string copies it first. The empty string allocates nothing.
//
// Nothing here throws. When memory runs out, a string being made from text comes out empty
// (GetLength() then differs from the text's), an append leaves the string as it was, and
// ToUtf8() gives the empty string.
#pragma once

#include "export.h"

#include <atomic>
#include <compare>
#include <cstddef>
#include <string>
#include <string_view>

namespace Celdor {

class CELDOR_API CString {
public:
    using view_type = std::basic_string_view<WCHAR>;

    CString() noexcept;
    // A null pointer gives the empty string.
    CString(const WCHAR* text) noexcept;
    CString(const WCHAR* text, std::size_t length) noexcept;
    CString(const CString& other) noexcept : m_pszData(other.m_pszData) { AddOwner(); }
    CString(CString&& other) noexcept;
    CString& operator=(const CString& other) noexcept;
    CString& operator=(CString&& other) noexcept;
    ~CString() { DropOwner(); }

    // Conversion to and from UTF-8, for tools and logs. Invalid input is replaced by U+FFFD.
    static CString FromUtf8(std::string_view text) noexcept;
    std::string ToUtf8() const noexcept;

    std::size_t GetLength() const noexcept { return GetBlock()->length; }
    bool IsEmpty() const noexcept { return GetLength() == 0; }
    // Terminated text; valid while this string lives and is not changed.
    const WCHAR* GetString() const noexcept { return m_pszData; }
    view_type View() const noexcept { return view_type(m_pszData, GetLength()); }

    CString& operator+=(const CString& other) noexcept;
    CString& operator+=(const WCHAR* other) noexcept;
    // `count` characters of `text` (null appends nothing).
    CString& Append(const WCHAR* text, std::size_t count) noexcept;
    friend CString operator+(CString left, const CString& right) noexcept { return left += right; }

    // Equality and order by UTF-16 code units, as unsigned 16-bit numbers.
    friend bool operator==(const CString& a, const CString& b) noexcept {
        return a.m_pszData == b.m_pszData || a.View() == b.View();
    }
    friend std::strong_ordering operator<=>(const CString& a, const CString& b) noexcept {
        return a.View().compare(b.View()) <=> 0;
    }

private:
    // The block before the characters.
    struct Block {
        std::atomic<int> owners; // -1 for the shared empty text, which is never counted
        std::size_t length;      // characters, without the terminator
        std::size_t capacity;    // characters there is room for, without the terminator
    };
    struct EmptyText;
    static EmptyText s_empty;

    Block* GetBlock() const noexcept { return reinterpret_cast<Block*>(m_pszData) - 1; }
    void AddOwner() const noexcept {
        Block* block = GetBlock();
        if (block->owners.load(std::memory_order_relaxed) >= 0) {
            block->owners.fetch_add(1, std::memory_order_relaxed);
        }
    }
    void DropOwner() const noexcept {
        Block* block = GetBlock();
        if (block->owners.load(std::memory_order_relaxed) >= 0 &&
            block->owners.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            Free(block);
        }
    }
    static WCHAR* Empty() noexcept;
    static WCHAR* Allocate(std::size_t capacity) noexcept;
    static void Free(Block* block) noexcept;

    WCHAR* m_pszData;
};

static_assert(sizeof(CString) == sizeof(void*));

} // namespace Celdor
