// The one sorting and binary-search facility for arrays.
//
// TSortEngine<T>::Sort sorts a slice of an array in place: a random
// pre-scramble first (so already sorted input does not degrade the quicksort
// that follows), then a quicksort that takes the slice's first element as the
// pivot and moves a hole through the slice instead of swapping. The sort is
// not stable: items that compare equal end up in random order.
//
// The searches look for the first or last position of a sorted slice
// relative to an item. Every comparison passes the array element first and
// the item (or pivot) second.
//
// A comparison is either any callable (a TCmpFunc<T> or a lambda) returning a
// negative, zero or positive int, or an IComparer<T>. Slices are given by
// their first index and their length; a slice that reaches past the array is
// clamped to it, so a wrong Count never reads or writes outside the array.
#pragma once

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <functional>
#include <span>
#include <utility>

#include "core/SystemInfo.h"

namespace velkor {

// Negative, zero or positive as Left sorts before, with or after Right.
template <class T>
using TCmpFunc = std::function<int(const T& Left, const T& Right)>;

// The comparison as an object, for callers that keep it in a class.
template <class T>
class IComparer {
 public:
  virtual ~IComparer() = default;
  virtual int Compare(const T& Left, const T& Right) const = 0;
};

// Any callable usable as a comparison of T.
template <class F, class T>
concept CompareFor = std::is_invocable_r_v<int, F&, const T&, const T&>;

namespace detail {

// The part of [Index, Index + Count) that lies inside an array of Size items.
struct TSlice {
  std::ptrdiff_t Index;
  std::ptrdiff_t Count;
};

inline TSlice ClampSlice(std::size_t Size, std::ptrdiff_t Index, std::ptrdiff_t Count) {
  const auto size = static_cast<std::ptrdiff_t>(Size);
  const std::ptrdiff_t first = std::clamp<std::ptrdiff_t>(Index, 0, size);
  const std::ptrdiff_t last = std::clamp<std::ptrdiff_t>(Index + std::max<std::ptrdiff_t>(Count, 0), first, size);
  return {first, last - first};
}

}  // namespace detail

template <class T>
class TSortEngine {
 public:
  // Sorts values[Index .. Index+Count-1] ascending by Cmp.
  template <CompareFor<T> Cmp>
  static void Sort(std::span<T> values, std::ptrdiff_t Index, std::ptrdiff_t Count, Cmp&& cmp) {
    const detail::TSlice s = detail::ClampSlice(values.size(), Index, Count);
    if (s.Count <= 1) return;
    Shuffle(values, s.Index, s.Count);
    TQuickSorter<std::remove_reference_t<Cmp>> sorter{values, cmp};
    sorter.QuickSort(s.Index, s.Index + s.Count - 1);
  }
  static void Sort(std::span<T> values, std::ptrdiff_t Index, std::ptrdiff_t Count,
                   const IComparer<T>& cmp) {
    Sort(values, Index, Count, AsCallable(cmp));
  }

  // First position p of the slice with Cmp(values[p], item) >= 0, else Index + Count.
  template <CompareFor<T> Cmp>
  static std::ptrdiff_t BinarySearchGE(std::span<const T> values, const T& item,
                                       std::ptrdiff_t Index, std::ptrdiff_t Count, Cmp&& cmp) {
    return FirstPosition(values, Index, Count, [&](const T& v) { return cmp(v, item) >= 0; });
  }
  // First position p of the slice with Cmp(values[p], item) > 0, else Index + Count.
  template <CompareFor<T> Cmp>
  static std::ptrdiff_t BinarySearchG(std::span<const T> values, const T& item,
                                      std::ptrdiff_t Index, std::ptrdiff_t Count, Cmp&& cmp) {
    return FirstPosition(values, Index, Count, [&](const T& v) { return cmp(v, item) > 0; });
  }
  // Last position with a value below item, else Index - 1.
  template <CompareFor<T> Cmp>
  static std::ptrdiff_t BinarySearchL(std::span<const T> values, const T& item,
                                      std::ptrdiff_t Index, std::ptrdiff_t Count, Cmp&& cmp) {
    return BinarySearchGE(values, item, Index, Count, cmp) - 1;
  }
  // Last position with a value at most item, else Index - 1.
  template <CompareFor<T> Cmp>
  static std::ptrdiff_t BinarySearchLE(std::span<const T> values, const T& item,
                                       std::ptrdiff_t Index, std::ptrdiff_t Count, Cmp&& cmp) {
    return BinarySearchG(values, item, Index, Count, cmp) - 1;
  }
  // First position holding a value equal to item, else -1.
  template <CompareFor<T> Cmp>
  static std::ptrdiff_t BinarySearch(std::span<const T> values, const T& item,
                                     std::ptrdiff_t Index, std::ptrdiff_t Count, Cmp&& cmp) {
    const detail::TSlice s = detail::ClampSlice(values.size(), Index, Count);
    const std::ptrdiff_t p = BinarySearchGE(values, item, s.Index, s.Count, cmp);
    return p < s.Index + s.Count && cmp(values[p], item) == 0 ? p : -1;
  }

  static std::ptrdiff_t BinarySearchGE(std::span<const T> values, const T& item,
                                       std::ptrdiff_t Index, std::ptrdiff_t Count,
                                       const IComparer<T>& cmp) {
    return BinarySearchGE(values, item, Index, Count, AsCallable(cmp));
  }
  static std::ptrdiff_t BinarySearchG(std::span<const T> values, const T& item,
                                      std::ptrdiff_t Index, std::ptrdiff_t Count,
                                      const IComparer<T>& cmp) {
    return BinarySearchG(values, item, Index, Count, AsCallable(cmp));
  }
  static std::ptrdiff_t BinarySearchL(std::span<const T> values, const T& item,
                                      std::ptrdiff_t Index, std::ptrdiff_t Count,
                                      const IComparer<T>& cmp) {
    return BinarySearchL(values, item, Index, Count, AsCallable(cmp));
  }
  static std::ptrdiff_t BinarySearchLE(std::span<const T> values, const T& item,
                                       std::ptrdiff_t Index, std::ptrdiff_t Count,
                                       const IComparer<T>& cmp) {
    return BinarySearchLE(values, item, Index, Count, AsCallable(cmp));
  }
  static std::ptrdiff_t BinarySearch(std::span<const T> values, const T& item,
                                     std::ptrdiff_t Index, std::ptrdiff_t Count,
                                     const IComparer<T>& cmp) {
    return BinarySearch(values, item, Index, Count, AsCallable(cmp));
  }

 private:
  static auto AsCallable(const IComparer<T>& cmp) {
    return [&cmp](const T& Left, const T& Right) { return cmp.Compare(Left, Right); };
  }

  // The first position of the clamped slice at which AtOrAfter turns true
  // (it is false then true along a sorted slice); the slice's end when never.
  template <class Pred>
  static std::ptrdiff_t FirstPosition(std::span<const T> values, std::ptrdiff_t Index,
                                      std::ptrdiff_t Count, Pred AtOrAfter) {
    const detail::TSlice s = detail::ClampSlice(values.size(), Index, Count);
    std::ptrdiff_t lo = s.Index, hi = s.Index + s.Count - 1;
    while (hi >= lo) {
      const std::ptrdiff_t mid = lo + (hi - lo) / 2;
      if (AtOrAfter(values[mid]))
        hi = mid - 1;
      else
        lo = mid + 1;
    }
    return lo;
  }

  // Scrambles the slice with n draws of the process-wide generator: each step
  // moves the element at a random position into the current hole, and that
  // position becomes the hole. The result is a permutation of the slice.
  static void Shuffle(std::span<T> values, std::ptrdiff_t Index, std::ptrdiff_t n) {
    if (n <= 1) return;
    T saved = std::move(values[Index]);
    std::ptrdiff_t hole = Index;
    for (std::ptrdiff_t k = 0; k < n; ++k) {
      const std::ptrdiff_t j = Index + static_cast<std::ptrdiff_t>(Random(static_cast<std::uint32_t>(n)));
      if (j != hole) values[hole] = std::move(values[j]);
      hole = j;
    }
    values[hole] = std::move(saved);
  }

  // Holds the comparison for the duration of one sort.
  template <class Cmp>
  struct TQuickSorter {
    std::span<T> values;
    Cmp& cmp;

    // Partitions around values[L] by moving a hole between the two scans;
    // returns the pivot's final position. Elements equal to the pivot stop
    // both scans, so a run of equal keys still splits near its middle.
    // A comparison that throws finds the pivot put back into the hole, so
    // the slice is still a permutation of its items.
    std::ptrdiff_t Partition(std::ptrdiff_t L, std::ptrdiff_t R) {
      T pivot = std::move(values[L]);
      std::ptrdiff_t i = L, j = R;
      bool holeAtI = true;
      try {
        while (i < j) {
          while (i < j && cmp(values[j], pivot) > 0) --j;
          if (i >= j) break;
          values[i++] = std::move(values[j]);
          holeAtI = false;
          while (i < j && cmp(values[i], pivot) < 0) ++i;
          if (i >= j) break;
          values[j--] = std::move(values[i]);
          holeAtI = true;
        }
      } catch (...) {
        values[holeAtI ? i : j] = std::move(pivot);
        throw;
      }
      values[i] = std::move(pivot);
      return i;
    }

    // Recurses into the smaller part and loops on the larger, so the stack
    // stays logarithmic whatever the pivots turn out to be.
    void QuickSort(std::ptrdiff_t L, std::ptrdiff_t R) {
      while (L < R) {
        const std::ptrdiff_t p = Partition(L, R);
        if (p - L < R - p) {
          QuickSort(L, p - 1);
          L = p + 1;
        } else {
          QuickSort(p + 1, R);
          R = p - 1;
        }
      }
    }
  };
};

}  // namespace velkor
