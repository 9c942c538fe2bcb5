// Dense numbering of a set-cover instance, shared by the three solvers (not installed).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <type_traits>
#include <utility>
#include <vector>

namespace nimbrel_tavik_util::setcover_detail {

// Entries in map order (ascending id), elements numbered 0..numElems-1 in ascending element
// order, in one flat array: entry k holds elems[start[k] .. start[k + 1]), ascending because
// each std::set is.
struct IndexForm {
  int numElems = 0;
  std::vector<int> ids;    // id of each entry
  std::vector<int> start;  // size ids.size() + 1
  std::vector<int> elems;  // element indices of all entries, entry after entry

  int numSets() const { return static_cast<int>(ids.size()); }
  std::vector<int> list(int k) const {
    return std::vector<int>(elems.begin() + start[k], elems.begin() + start[k + 1]);
  }
};

// Lists of lists in one flat array (CSR): list k is items[start[k] .. start[k + 1]).
struct FlatLists {
  std::vector<int> start;
  std::vector<int> items;
};

// The transpose of `numLists` lists given as start/items (every item in [0, numTargets)):
// list t of the result holds the indices of the lists that hold t, ascending. One counting
// pass, O(numTargets + numLists + items).
inline FlatLists transposeLists(int numTargets, int numLists, const std::vector<int>& start,
                                const std::vector<int>& items) {
  FlatLists out;
  out.start.assign(static_cast<std::size_t>(numTargets) + 1, 0);
  for (int k = 0; k < start[numLists]; ++k) ++out.start[items[k] + 1];
  for (int t = 0; t < numTargets; ++t) out.start[t + 1] += out.start[t];
  out.items.resize(static_cast<std::size_t>(out.start[numTargets]));
  std::vector<int> fill(out.start.begin(), out.start.end() - 1);
  for (int j = 0; j < numLists; ++j) {
    for (int k = start[j]; k < start[j + 1]; ++k) out.items[fill[items[k]]++] = j;
  }
  return out;
}

// The sets holding each element: elemSets(form).items[start[e] .. start[e + 1]), ascending.
inline FlatLists elemSets(const IndexForm& form) {
  return transposeLists(form.numElems, form.numSets(), form.start, form.elems);
}

namespace index_form_impl {

// Ids and entry boundaries; the element lists are filled by the numbering.
template <typename T>
void layout(const std::map<int, std::set<T>>& instance, IndexForm& form) {
  form.ids.reserve(instance.size());
  form.start.reserve(instance.size() + 1);
  form.start.push_back(0);
  std::size_t total = 0;
  for (const auto& entry : instance) {
    form.ids.push_back(entry.first);
    total += entry.second.size();
    form.start.push_back(static_cast<int>(total));
  }
  form.elems.resize(total);
}

// The lookup table below is used while the values span fewer than kTableSpanPerItem slots per
// (set, element) pair plus kTableSpanExtra, so that it takes at most about four times the
// memory of the array the sort would fill (one int per pair). It replaces an O(S log S) sort:
// made to sort, BM_GreedyStress/10 took 47 ms instead of 16-17 ms and BM_GreedyCorpus/stn243
// 20 ms instead of 10 ms (two runs against one, busy machine). The benchmark instances span
// about one slot per pair at most (the smallest uniform ones; the stress family 0.4), so 4
// leaves room for ranges with gaps.
constexpr std::size_t kTableSpanPerItem = 4;
constexpr std::size_t kTableSpanExtra = 4096;

// Integers whose values span a range not much wider than their number: a lookup table from
// value - min to index replaces the sort. The tree is walked once; the rest runs over flat
// arrays. Returns false, leaving `form.elems` unnumbered, when the range is too wide.
// Polls for none of the builders that need no limit.
struct NeverStop {
  bool operator()(std::size_t) const { return false; }
};

// What `stop` is called with where it is only asked whether to stop now, with no work to count
// (about every kSortSlice values of the sliced sort and of the last pass below): callers that
// count work read the clock and the flags and count nothing.
constexpr std::size_t kPollOnly = static_cast<std::size_t>(-1);

// Sorts `v` by `less` in slices of kSortSlice values merged pairwise, asking `stop(kPollOnly)`
// between slices and merges, so that a stop or a deadline is seen within a few milliseconds
// (a single std::sort of 2 million values takes about 150 ms). Returns false when stopped
// (`v` then unsorted). Without a stop it is std::sort.
constexpr std::size_t kSortSlice = std::size_t{1} << 16;
template <typename V, typename Less, typename Stop>
bool slicedSort(std::vector<V>& v, Less& less, Stop& stop) {
  if constexpr (std::is_same_v<Stop, NeverStop>) {
    std::sort(v.begin(), v.end(), less);
    return true;
  } else {
    const std::size_t n = v.size();
    for (std::size_t at = 0; at < n; at += kSortSlice) {
      if (stop(kPollOnly)) return false;
      std::sort(v.begin() + at, v.begin() + std::min(n, at + kSortSlice), less);
    }
    for (std::size_t width = kSortSlice; width < n; width *= 2) {
      for (std::size_t at = 0; at + width < n; at += 2 * width) {
        if (stop(kPollOnly)) return false;
        std::inplace_merge(v.begin() + at, v.begin() + at + width,
                           v.begin() + std::min(n, at + 2 * width), less);
      }
    }
    return true;
  }
}

// Returns false when the range is too wide for a table. `stop` is called with each set's size
// and true from it abandons the numbering (`stopped` set, `form` unusable).
template <typename T, typename Stop>
bool numberByTable(const std::map<int, std::set<T>>& instance, IndexForm& form, Stop& stop,
                   bool& stopped) {
  using U = std::make_unsigned_t<T>;
  bool any = false;
  T lo{};
  T hi{};
  for (const auto& entry : instance) {
    if (entry.second.empty()) continue;
    const T first = *entry.second.begin();
    const T last = *entry.second.rbegin();
    if (!any || first < lo) lo = first;
    if (!any || last > hi) hi = last;
    any = true;
  }
  if (!any) return true;  // empty universe
  const std::size_t total = form.elems.size();
  const U span = static_cast<U>(static_cast<U>(hi) - static_cast<U>(lo));  // exact in U
  if (span >= kTableSpanPerItem * total + kTableSpanExtra) return false;
  std::vector<int> slot(static_cast<std::size_t>(span) + 1, 0);
  std::size_t k = 0;
  for (const auto& entry : instance) {
    if (stop(entry.second.size())) {
      stopped = true;
      return true;
    }
    for (const T& e : entry.second) {
      const auto offset = static_cast<int>(static_cast<U>(e) - static_cast<U>(lo));
      form.elems[k++] = offset;
      slot[offset] = 1;
    }
  }
  int next = 0;
  for (int& s : slot) s = s != 0 ? next++ : -1;
  form.numElems = next;
  for (int& v : form.elems) v = slot[v];
  return true;
}

// General case: a sorted, deduplicated array of values (of pointers for non-arithmetic types,
// so that no string is copied), searched forward from the previous hit of the same set.
template <typename T, typename Key, typename Less, typename Stop>
void numberBySort(const std::map<int, std::set<T>>& instance, IndexForm& form, Key key, Less less,
                  Stop& stop, bool& stopped) {
  using V = decltype(key(std::declval<const T&>()));
  std::vector<V> universe;
  universe.reserve(form.elems.size());
  for (const auto& entry : instance) {
    if (stop(entry.second.size())) {
      stopped = true;
      return;
    }
    for (const T& e : entry.second) universe.push_back(key(e));
  }
  if (!slicedSort(universe, less, stop) || stop(universe.size())) {
    stopped = true;
    return;
  }
  universe.erase(std::unique(universe.begin(), universe.end(),
                             [&less](const V& a, const V& b) { return !less(a, b); }),
                 universe.end());
  form.numElems = static_cast<int>(universe.size());
  std::size_t k = 0;
  std::size_t since = 0;
  for (const auto& entry : instance) {
    since += entry.second.size();
    if (since >= kSortSlice) {
      since = 0;
      if (stop(kPollOnly)) {
        stopped = true;
        return;
      }
    }
    auto from = universe.begin();  // the set is ascending, so each search starts after the last
    for (const T& e : entry.second) {
      from = std::lower_bound(from, universe.end(), key(e), less);
      form.elems[k++] = static_cast<int>(from - universe.begin());
    }
  }
}

}  // namespace index_form_impl

// O(S + range) for integers of a compact range, else O(S log S), for total set size S.
// `stop(n)` is called before each set's n elements are numbered (and once after the sort of the
// general case); when it returns true the numbering is abandoned and the result is false.
template <typename T, typename Stop>
bool buildIndexForm(const std::map<int, std::set<T>>& instance, IndexForm& form, Stop stop) {
  bool stopped = false;
  index_form_impl::layout(instance, form);
  if constexpr (std::is_integral_v<T> && !std::is_same_v<T, bool>) {
    if (index_form_impl::numberByTable(instance, form, stop, stopped)) return !stopped;
    index_form_impl::numberBySort(
        instance, form, [](const T& e) { return e; }, [](const T& a, const T& b) { return a < b; },
        stop, stopped);
  } else {
    const std::less<T> less;
    index_form_impl::numberBySort(
        instance, form, [](const T& e) { return &e; },
        [less](const T* a, const T* b) { return less(*a, *b); }, stop, stopped);
  }
  return !stopped;
}

template <typename T>
IndexForm buildIndexForm(const std::map<int, std::set<T>>& instance) {
  IndexForm form;
  buildIndexForm(instance, form, index_form_impl::NeverStop{});
  return form;
}

}  // namespace nimbrel_tavik_util::setcover_detail
