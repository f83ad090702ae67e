#pragma once
// A ring of bytes with one producer and one consumer: the port's input ring
// (the dispatcher thread fills it, the receivers take from it) and its output
// ring (the caller queues, the output thread writes). It owns all of the
// rings' arithmetic: room, wrap, waiting bytes, peeking ahead of the tail.
//
// Positions run over twice the size, so a full ring (head one lap ahead of
// the tail) and an empty one (head at the tail) differ without a flag, and
// any size up to 65535 wraps without division. The producer alone moves the
// head and the consumer alone the tail; each publishes its move with release
// and reads the other's with acquire, so the bytes between them are never
// written and read at once. Reset and Discard need the other side stopped
// or excluded by the caller's lock.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace zop {

class ByteRing {
public:
    ByteRing() = default;
    ByteRing(const ByteRing&) = delete;
    ByteRing& operator=(const ByteRing&) = delete;

    // Gives the ring `size` bytes (1..65535), empty; false when memory is short.
    bool Allocate(std::uint16_t size)
    {
        m_bytes.reset(new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]);
        m_size = m_bytes ? size : 0;
        Reset();
        return m_bytes != nullptr;
    }
    // Takes over a buffer allocated elsewhere (the caller's allocator).
    void Adopt(std::unique_ptr<std::uint8_t[]> bytes, std::uint16_t size)
    {
        m_bytes = std::move(bytes);
        m_size = m_bytes ? size : 0;
        Reset();
    }
    bool Allocated() const { return m_bytes != nullptr; }
    std::uint16_t Size() const { return m_size; }

    // Bytes waiting between tail and head; room left. Either side may ask.
    std::uint16_t Used() const
    {
        return Distance(m_head.load(std::memory_order_acquire), m_tail.load(std::memory_order_acquire));
    }
    std::uint16_t Free() const { return static_cast<std::uint16_t>(m_size - Used()); }
    bool Full() const { return m_size != 0 && Used() == m_size; }
    bool Empty() const { return Used() == 0; }
    // Ring indices 0..size-1 of the next byte written and the next byte read.
    std::uint16_t Head() const { return Index(m_head.load(std::memory_order_acquire)); }
    std::uint16_t Tail() const { return Index(m_tail.load(std::memory_order_acquire)); }
    // The ring index `offset` bytes after `index` (offset at most the size).
    std::uint16_t IndexAfter(std::uint16_t index, std::uint32_t offset) const
    {
        const std::uint32_t at = index + offset;
        return static_cast<std::uint16_t>(at < m_size ? at : at - m_size);
    }
    const std::uint8_t* Data() const { return m_bytes.get(); }

    // ---- producer ----

    // The contiguous room from the head: to the tail, or to the ring's end.
    std::uint8_t* Room(std::uint16_t* length) { return RoomAfter(0, length); }
    // The same, after `written` bytes written at the head and not yet
    // committed (at most the room there was).
    std::uint8_t* RoomAfter(std::uint16_t written, std::uint16_t* length)
    {
        const std::uint32_t head = Advance(m_head.load(std::memory_order_relaxed), written);
        const std::uint16_t free
            = static_cast<std::uint16_t>(m_size - Distance(head, m_tail.load(std::memory_order_acquire)));
        const std::uint16_t index = Index(head);
        *length = std::min<std::uint16_t>(free, static_cast<std::uint16_t>(m_size - index));
        return m_bytes.get() + index;
    }
    // Publishes `count` bytes written into the room.
    void Commit(std::uint16_t count)
    {
        m_head.store(Advance(m_head.load(std::memory_order_relaxed), count), std::memory_order_release);
    }
    // Copies `count` bytes in at the head, wrapping; false (nothing copied)
    // when they do not fit.
    bool Put(const std::uint8_t* bytes, std::uint16_t count)
    {
        if (count > Free())
            return false;
        const std::uint16_t index = Index(m_head.load(std::memory_order_relaxed));
        const std::uint16_t first = std::min<std::uint16_t>(count, static_cast<std::uint16_t>(m_size - index));
        if (first != 0)
            std::memcpy(m_bytes.get() + index, bytes, first);
        if (count != first)
            std::memcpy(m_bytes.get(), bytes + first, count - first);
        Commit(count);
        return true;
    }

    // ---- consumer ----

    // The byte `offset` places after the tail (offset < Used()).
    std::uint8_t At(std::uint16_t offset) const
    {
        return m_bytes[IndexAfter(Index(m_tail.load(std::memory_order_relaxed)), offset)];
    }
    // The contiguous waiting bytes from `offset` after the tail (to the head
    // or to the ring's end); *length 0 when fewer wait.
    const std::uint8_t* Waiting(std::uint16_t offset, std::uint16_t* length) const
    {
        const std::uint32_t tail = m_tail.load(std::memory_order_relaxed);
        const std::uint16_t used = Distance(m_head.load(std::memory_order_acquire), tail);
        if (used <= offset) {
            *length = 0;
            return m_bytes.get();
        }
        const std::uint16_t index = IndexAfter(Index(tail), offset);
        *length = std::min<std::uint16_t>(
            static_cast<std::uint16_t>(used - offset), static_cast<std::uint16_t>(m_size - index));
        return m_bytes.get() + index;
    }
    // Copies up to `count` waiting bytes from `offset` after the tail;
    // returns how many.
    std::uint16_t CopyOut(std::uint16_t offset, std::uint8_t* out, std::uint16_t count) const
    {
        std::uint16_t copied = 0;
        while (copied < count) {
            std::uint16_t length = 0;
            const std::uint8_t* from = Waiting(static_cast<std::uint16_t>(offset + copied), &length);
            length = std::min<std::uint16_t>(length, static_cast<std::uint16_t>(count - copied));
            if (length == 0)
                break;
            std::memcpy(out + copied, from, length);
            copied = static_cast<std::uint16_t>(copied + length);
        }
        return copied;
    }
    // The tail's position, which changes whenever the tail moves (also when
    // the ring is emptied): a consumer that saw the waiting bytes at one
    // position may use them while it has not changed.
    std::uint32_t TailPosition() const { return m_tail.load(std::memory_order_relaxed); }
    // Frees `count` bytes at the tail (count <= Used()).
    void Consume(std::uint16_t count)
    {
        m_tail.store(Advance(m_tail.load(std::memory_order_relaxed), count), std::memory_order_release);
    }
    // Frees every waiting byte.
    void Discard() { m_tail.store(m_head.load(std::memory_order_acquire), std::memory_order_release); }

    // An empty ring starts again at index 0, so that the next bytes find the
    // whole ring as one contiguous room; nothing happens while bytes wait.
    // The producer calls it with the consumer excluded (it moves the tail).
    void Rewind()
    {
        const std::uint32_t head = m_head.load(std::memory_order_relaxed);
        if (head != 0 && head == m_tail.load(std::memory_order_acquire))
            Reset();
    }
    // Empty, both positions at index 0. Neither side may be working.
    void Reset()
    {
        m_head.store(0, std::memory_order_release);
        m_tail.store(0, std::memory_order_release);
    }

private:
    std::uint16_t Index(std::uint32_t position) const
    {
        return static_cast<std::uint16_t>(position < m_size ? position : position - m_size);
    }
    std::uint16_t Distance(std::uint32_t head, std::uint32_t tail) const
    {
        return static_cast<std::uint16_t>(head >= tail ? head - tail : head + 2u * m_size - tail);
    }
    std::uint32_t Advance(std::uint32_t position, std::uint32_t count) const
    {
        position += count;
        return position >= 2u * m_size ? position - 2u * m_size : position;
    }

    std::unique_ptr<std::uint8_t[]> m_bytes;
    std::uint16_t m_size = 0;
    std::atomic<std::uint32_t> m_head { 0 }; // 0 .. 2*size-1
    std::atomic<std::uint32_t> m_tail { 0 };
};

} // namespace zop
