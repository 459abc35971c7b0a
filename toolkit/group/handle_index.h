#pragma once
// An index from 32-bit handle to object for sets of up to millions of
// objects: an open-addressed table of object pointers, with no allocation per
// entry. The handle is read from the object (KeyOf), so a slot holds nothing
// else. Handle 0 names nothing and is never stored. Portable code.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillon {

template <class T, class KeyOf>
class HandleIndex {
 public:
  // False, changing nothing, when the handle is taken already.
  bool Insert(T* object) {
    const uint32_t key = KeyOf()(*object);
    if (key == 0) return false;
    if ((size_ + 1) * 2 > slots_.size()) Rehash(slots_.empty() ? kMinSlots : slots_.size() * 2);
    size_t i = Home(key);
    for (; slots_[i]; i = Next(i))
      if (KeyOf()(*slots_[i]) == key) return false;
    slots_[i] = object;
    ++size_;
    return true;
  }

  // Room for Count objects in all, so that adding up to them rehashes at most once.
  void Reserve(size_t count) {
    size_t slots = slots_.empty() ? kMinSlots : slots_.size();
    while (count * 2 > slots) slots *= 2;
    if (slots != slots_.size()) Rehash(slots);
  }

  T* Find(uint32_t key) const {
    if (key == 0 || slots_.empty()) return nullptr;
    for (size_t i = Home(key); slots_[i]; i = Next(i))
      if (KeyOf()(*slots_[i]) == key) return slots_[i];
    return nullptr;
  }

  bool Erase(uint32_t key) {
    if (key == 0 || slots_.empty()) return false;
    size_t hole = Home(key);
    for (; slots_[hole]; hole = Next(hole))
      if (KeyOf()(*slots_[hole]) == key) break;
    if (!slots_[hole]) return false;
    slots_[hole] = nullptr;
    --size_;
    // Shifts back the entries after the hole that probing could no longer
    // reach, so that no tombstones are needed.
    for (size_t i = Next(hole); slots_[i]; i = Next(i)) {
      const size_t home = Home(KeyOf()(*slots_[i]));
      const bool reachable = hole < i ? (home > hole && home <= i) : (home > hole || home <= i);
      if (reachable) continue;
      slots_[hole] = slots_[i];
      slots_[i] = nullptr;
      hole = i;
    }
    if (slots_.size() > kMinSlots && size_ * 8 < slots_.size()) Rehash(slots_.size() / 2);
    return true;
  }

  void Clear() {
    slots_.clear();
    slots_.shrink_to_fit();
    size_ = 0;
    bits_ = 0;
  }

  size_t Size() const { return size_; }

  // Asks the processor to fetch the slot a lookup of Key starts at, or the
  // object that slot holds (most often the one Key names): a caller that
  // knows its keys ahead hides the memory latency of large tables.
  void PrefetchSlot(uint32_t key) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[Home(key)]);
  }
  void PrefetchObject(uint32_t key) const {
    if (!slots_.empty())
      if (const T* object = slots_[Home(key)]) __builtin_prefetch(object);
  }

 private:
  static constexpr size_t kMinSlots = 16;

  // Fibonacci hashing: handles that are addresses differ in their middle
  // bits, which the multiplication carries into the top bits taken.
  size_t Home(uint32_t key) const { return size_t(uint32_t(key * 2654435769u) >> (32 - bits_)); }
  size_t Next(size_t i) const { return (i + 1) & (slots_.size() - 1); }

  void Rehash(size_t count) {
    std::vector<T*> old(count, nullptr);
    old.swap(slots_);
    bits_ = 0;
    while ((size_t(1) << bits_) < count) ++bits_;
    for (T* object : old) {
      if (!object) continue;
      size_t i = Home(KeyOf()(*object));
      while (slots_[i]) i = Next(i);
      slots_[i] = object;
    }
  }

  std::vector<T*> slots_;  // a power of two of them, at most half used
  size_t size_ = 0;
  unsigned bits_ = 0;
};

}  // namespace quillon
