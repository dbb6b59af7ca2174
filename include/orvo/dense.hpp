// Dense arrays of namespace orvo: the value types every surfkit call takes.
//
//   dense2D<T>             column-major matrix over shared, reference-counted storage
//   dense1D<T, 8>          vector over the same kind of storage
//   vector_fixed<T, N>     small fixed vector (points, directions, rotation vectors)
//   symmetric_fixed<T, N>  small symmetric matrix in upper packed column order (metrics)
//
// Storage model. A dense2D holds a Ptr to a vector_num (data pointer + element count),
// a start offset, an extent (rows x cols) and a leading dimension ld >= rows:
// element (r, c) lives at data[offset + c * ld + r], so a column is contiguous.
// Copy construction, copy assignment and shallow_copy share the storage; it lives
// until the last sharer lets go. copy() is the deep copy.
//
// Failure model. Nothing here throws. Every operation that has to allocate is one
// "storage request"; a refused request (out of memory, a size that overflows, or a
// refusal armed through storage_testing) makes the operation return false with the
// array exactly as before. An operation served from existing room makes no request.
//
// Sharing and growth. An operation that would write outside the current extent of
// storage that another array also holds (resize growing, push_back) first moves this
// array to private storage, so a sharer never sees entries change under its extent
// through someone else's growth. Shrinking never allocates.
//
// Wrapped memory. dense2D::wrap and dense1D::wrap make an array over memory the caller
// owns (a std::vector, a NumPy buffer): it reads and writes that memory in place and never
// frees it. Growth beyond the wrapped room moves the array to storage of its own (one
// storage request), leaving the caller's memory as it was at that moment. The caller keeps
// the memory alive while any array wrapping it, or sharing with one that does, is in use.
#pragma once

#include <algorithm>
#include <atomic>
#include <cassert>
#include <climits>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

#include "orvo/export.hpp"

namespace orvo {

// Deterministic refusal of storage, for tests of every "-199" path. Per thread.
namespace storage_testing {
// Refuse the n-th storage request made from now on by this thread (n = 1: the next one).
// Only that one request is refused; the countdown then disarms. n = 0 disarms at once.
SURFKIT_API void refuse_nth_request(unsigned long n);
// True while a refusal is armed and has not fired yet: after a call, false means the
// call reached the refused request.
SURFKIT_API bool refusal_pending();
// Number of storage requests this thread has made since it started.
SURFKIT_API unsigned long requests_made();
}  // namespace storage_testing

namespace detail {
// Counts one storage request on this thread and says whether it may go ahead.
SURFKIT_API bool storage_request_allowed();

// Arrays of at least this many bytes are offered large pages.
constexpr std::size_t large_storage_bytes = std::size_t{8} << 20;

// Asks the system to back [p, p + bytes) with large pages where it can (on Linux,
// transparent huge pages where the system leaves them to the program's advice). A large
// array is mostly written once, and in 4 KiB pages each first write faults into the
// kernel: on many systems the faults cost more than the writes themselves. Only advice:
// nothing changes where the system declines.
SURFKIT_API void advise_large_pages(void* p, std::size_t bytes) noexcept;

// advise_large_pages for the `count` elements at p when they reach large_storage_bytes.
// Storage below is offered them when allocated; scratch held in standard containers or
// raw blocks is offered them once reserved and before it is first written (advice given
// after the first write no longer spares the faults of the pages already touched).
template <class T>
void offer_large_pages(T* p, std::size_t count) noexcept {
  if (p && count >= large_storage_bytes / sizeof(T)) advise_large_pages(p, count * sizeof(T));
}
}  // namespace detail

// Raw storage of n elements aligned to A bytes; nullptr when refused. Counts one request.
template <class T, std::size_t A = 8>
T* __vector_num_alloc(std::size_t n) {
  static_assert(std::is_trivially_copyable<T>::value, "dense storage holds trivial values");
  if (!detail::storage_request_allowed()) return nullptr;
  if (n == 0) n = 1;
  if (n > std::numeric_limits<std::size_t>::max() / sizeof(T)) return nullptr;
  constexpr std::size_t align = A < alignof(T) ? alignof(T) : A;
  T* p = static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t(align), std::nothrow));
  detail::offer_large_pages(p, n);
  return p;
}

template <class T, std::size_t A = 8>
void __vector_num_free(T* p) noexcept {
  constexpr std::size_t align = A < alignof(T) ? alignof(T) : A;
  if (p) ::operator delete(p, std::align_val_t(align));
}

// Intrusive reference count. __destroy runs when the last share is released.
class ref_counted {
 public:
  ref_counted() noexcept = default;
  ref_counted(const ref_counted&) noexcept {}
  ref_counted& operator=(const ref_counted&) noexcept { return *this; }
  virtual ~ref_counted() = default;

  void add_ref() const noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
  void release() const noexcept {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1)
      const_cast<ref_counted*>(this)->__destroy();
  }
  std::size_t use_count() const noexcept { return refs_.load(std::memory_order_acquire); }

 protected:
  virtual void __destroy() noexcept { delete this; }

 private:
  mutable std::atomic<std::size_t> refs_{0};
};

// Shared pointer to a ref_counted object.
template <class T>
class Ptr {
 public:
  Ptr() noexcept = default;
  explicit Ptr(T* p) noexcept : p_(p) {
    if (p_) p_->add_ref();
  }
  Ptr(const Ptr& o) noexcept : p_(o.p_) {
    if (p_) p_->add_ref();
  }
  Ptr(Ptr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  ~Ptr() {
    if (p_) p_->release();
  }
  Ptr& operator=(const Ptr& o) noexcept { return *this = o.p_; }
  Ptr& operator=(Ptr&& o) noexcept {
    if (this != &o) {
      if (p_) p_->release();
      p_ = o.p_;
      o.p_ = nullptr;
    }
    return *this;
  }
  // Shares the storage p (which may be null); releases the previous one.
  Ptr& operator=(T* p) noexcept {
    if (p) p->add_ref();
    if (p_) p_->release();
    p_ = p;
    return *this;
  }
  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  bool unique() const noexcept { return p_ && p_->use_count() == 1; }

 private:
  T* p_ = nullptr;
};

// Reference-counted block of `count` elements of T.
template <class T, std::size_t A = 8>
class vector_num : public ref_counted {
 public:
  // Allocates a block of n elements (uninitialised); nullptr when refused. One request.
  static vector_num* make(std::size_t n) {
    T* d = __vector_num_alloc<T, A>(n);
    if (!d) return nullptr;
    auto* v = new (std::nothrow) vector_num();
    if (!v) {
      __vector_num_free<T, A>(d);
      return nullptr;
    }
    v->data_ = d;
    v->count_ = n;
    return v;
  }
  // Storage over n elements at d that the caller owns: never freed here. Counts one
  // request (the bookkeeping object itself is allocated); nullptr when refused.
  static vector_num* borrow(T* d, std::size_t n) {
    if (!detail::storage_request_allowed()) return nullptr;
    auto* v = new (std::nothrow) vector_num();
    if (!v) return nullptr;
    v->data_ = d;
    v->count_ = n;
    v->owned_ = false;
    return v;
  }
  ~vector_num() override {
    if (owned_) __vector_num_free<T, A>(data_);
  }

  T* data() const noexcept { return data_; }
  std::size_t count() const noexcept { return count_; }

  // Ensures room for `needed` elements keeping the first `kept` ones. The new count is
  // the larger of `needed` and `factor` times the old count. No request when the room
  // is already there. False (and nothing changed) when refused.
  bool __grow(std::size_t needed, std::size_t kept, std::size_t factor) {
    if (needed <= count_) return true;
    std::size_t n = needed;
    if (factor > 1 && count_ <= std::numeric_limits<std::size_t>::max() / factor)
      n = std::max(n, count_ * factor);
    T* d = __vector_num_alloc<T, A>(n);
    if (!d) return false;
    kept = std::min(kept, count_);
    if (kept) std::memcpy(d, data_, kept * sizeof(T));
    // Borrowed memory stays with its owner, as it was; the block is ours from now on.
    if (owned_) __vector_num_free<T, A>(data_);
    data_ = d;
    count_ = n;
    owned_ = true;
    return true;
  }

 private:
  vector_num() = default;
  T* data_ = nullptr;
  std::size_t count_ = 0;
  bool owned_ = true;
};

// ---------------------------------------------------------------------------------------
// dense1D: vector of n elements; element i is data[offset + i].
template <class T, std::size_t A = 8>
class dense1D {
 public:
  using value_type = T;
  using storage = vector_num<T, A>;

  dense1D() noexcept = default;
  // n elements, zero or v. When storage is refused the vector stays empty (check size()).
  explicit dense1D(std::size_t n) { resize(n); }
  dense1D(std::size_t n, T v) { resize(n, v); }
  dense1D(std::initializer_list<T> values) {
    if (resize(values.size())) std::copy(values.begin(), values.end(), data());
  }
  // An array over the caller's n elements at `data`, read and written in place and never
  // freed (see "Wrapped memory" above); size and room n. Growth past n moves it to its own
  // storage. Empty (no storage) when `data` is null, or when refused.
  static dense1D wrap(T* data, std::size_t n) {
    dense1D v;
    if (!data) return v;
    v.store_ = storage::borrow(data, n);
    if (v.store_) v.size_ = n;
    return v;
  }

  // Copies share the storage.
  dense1D(const dense1D&) noexcept = default;
  dense1D& operator=(const dense1D&) noexcept = default;
  dense1D(dense1D&& o) noexcept : store_(std::move(o.store_)), offset_(o.offset_), size_(o.size_) {
    o.offset_ = o.size_ = 0;
  }
  dense1D& operator=(dense1D&& o) noexcept {
    if (this != &o) {
      store_ = std::move(o.store_);
      offset_ = o.offset_;
      size_ = o.size_;
      o.offset_ = o.size_ = 0;
    }
    return *this;
  }

  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  T& operator[](std::size_t i) noexcept {
    assert(i < size_);
    return store_->data()[offset_ + i];
  }
  const T& operator[](std::size_t i) const noexcept {
    assert(i < size_);
    return store_->data()[offset_ + i];
  }
  T* data() noexcept { return store_ ? store_->data() + offset_ : nullptr; }
  const T* data() const noexcept { return store_ ? store_->data() + offset_ : nullptr; }
  T* begin() noexcept { return data(); }
  T* end() noexcept { return data() + size_; }
  const T* begin() const noexcept { return data(); }
  const T* end() const noexcept { return data() + size_; }
  // Elements that fit without a storage request.
  std::size_t capacity() const noexcept { return store_ ? store_->count() - offset_ : 0; }
  const Ptr<storage>& storage_ptr() const noexcept { return store_; }

  // Appends v. Grows the storage by doubling when it is full. False when refused.
  bool push_back(T v) {
    if (!writable_room(size_ + 1)) {
      if (!store_.unique()) {
        if (!move_to_private(grown(size_ + 1))) return false;
      } else if (!store_->__grow(offset_ + size_ + 1, offset_ + size_, 2)) {
        return false;
      }
    }
    store_->data()[offset_ + size_] = v;
    ++size_;
    return true;
  }

  // New extent n; entries below min(n, size()) keep their values, new ones are zero.
  bool resize(std::size_t n) { return resize(n, T{}); }
  // As resize(n), the new entries become v.
  bool resize(std::size_t n, T v) {
    if (n > size_ && !writable_room(n) && !move_to_private(n)) return false;
    if (n > size_) std::fill(data() + size_, data() + n, v);
    size_ = n;
    return true;
  }
  // Room for n * cols elements without a further request; extent and contents unchanged.
  bool reserve(std::size_t n, std::size_t cols = 1) {
    if (cols != 0 && n > std::numeric_limits<std::size_t>::max() / cols) return false;
    n *= cols;
    if (n <= size_ || writable_room(n)) return true;
    return move_to_private(n);
  }
  // Deep copy of src into this. False (this unchanged) when refused.
  bool copy(const dense1D& src) {
    if (this == &src) return true;
    dense1D tmp;
    if (src.size_ && !tmp.move_to_private(src.size_)) return false;
    if (src.size_) std::memcpy(tmp.data(), src.data(), src.size_ * sizeof(T));
    tmp.size_ = src.size_;
    *this = std::move(tmp);
    return true;
  }
  // Shares src's storage and extent.
  void shallow_copy(const dense1D& src) noexcept { *this = src; }
  // Becomes empty and lets go of the storage.
  void clear() noexcept { *this = dense1D(); }

 private:
  bool writable_room(std::size_t n) const noexcept { return store_.unique() && capacity() >= n; }
  static std::size_t grown(std::size_t n) noexcept { return n < 4 ? 4 : n; }
  // New private storage of room n holding this array's current entries at offset 0.
  bool move_to_private(std::size_t n) {
    storage* s = storage::make(n);
    if (!s) return false;
    if (size_) std::memcpy(s->data(), data(), size_ * sizeof(T));
    store_ = s;
    offset_ = 0;
    return true;
  }

  Ptr<storage> store_;
  std::size_t offset_ = 0;
  std::size_t size_ = 0;
};

// ---------------------------------------------------------------------------------------
// dense2D: rows x cols, column-major, element (r, c) at data[offset + c * ld + r].
template <class T>
class dense2D {
 public:
  using value_type = T;
  using storage = vector_num<T, 8>;

  dense2D() noexcept = default;
  // rows x cols entries, zero or v. When storage is refused the matrix stays empty.
  dense2D(std::size_t rows, std::size_t cols) { resize(rows, cols); }
  dense2D(std::size_t rows, std::size_t cols, T v) { resize(rows, cols, v); }
  // Row by row: dense2D<double>{{x0, x1, x2}, {y0, y1, y2}} is 2 x 3. Short rows are
  // padded with zeros.
  dense2D(std::initializer_list<std::initializer_list<T>> rows) {
    std::size_t nc = 0;
    for (auto& r : rows) nc = std::max(nc, r.size());
    if (!resize(rows.size(), nc)) return;
    std::size_t i = 0;
    for (auto& r : rows) {
      std::size_t j = 0;
      for (T v : r) (*this)(i, j++) = v;
      ++i;
    }
  }
  // Column by column: from_columns({{0, 1, 2}, {2, 3, 0}}) is a 3 x 2 connectivity.
  static dense2D from_columns(std::initializer_list<std::initializer_list<T>> cols) {
    std::size_t nr = 0;
    for (auto& c : cols) nr = std::max(nr, c.size());
    dense2D m;
    if (!m.resize(nr, cols.size())) return m;
    std::size_t j = 0;
    for (auto& c : cols) {
      std::size_t i = 0;
      for (T v : c) m(i++, j) = v;
      ++j;
    }
    return m;
  }

  // A rows x cols array over the caller's memory at `data`, column c starting at
  // data + c * ld (ld >= rows, ld >= 1), read and written in place and never freed (see
  // "Wrapped memory" above). The memory must hold ld * (cols - 1) + rows elements. A C-order
  // (n, 3) buffer, or a std::vector of x, y, z triples, is wrap(p, 3, n, 3). Growth past that
  // room (more columns, more rows than ld) moves it to its own storage. Empty (0 x 0, no
  // storage) when ld < rows, ld is 0, the extent overflows, `data` is null, or the request
  // is refused.
  static dense2D wrap(T* data, std::size_t rows, std::size_t cols, std::size_t ld) {
    dense2D m;
    if (ld == 0 || ld < rows || !data) return m;
    std::size_t count = 0;
    if (rows != 0 && cols != 0) {
      if (cols - 1 > (std::numeric_limits<std::size_t>::max() - rows) / ld) return m;
      count = ld * (cols - 1) + rows;
    }
    m.store_ = storage::borrow(data, count);
    if (!m.store_) return m;
    m.rows_ = rows;
    m.cols_ = cols;
    m.ld_ = ld;
    return m;
  }

  // Copies share the storage.
  dense2D(const dense2D&) noexcept = default;
  dense2D& operator=(const dense2D&) noexcept = default;
  dense2D(dense2D&& o) noexcept
      : store_(std::move(o.store_)),
        offset_(o.offset_),
        rows_(o.rows_),
        cols_(o.cols_),
        ld_(o.ld_) {
    o.reset_extent();
  }
  dense2D& operator=(dense2D&& o) noexcept {
    if (this != &o) {
      store_ = std::move(o.store_);
      offset_ = o.offset_;
      rows_ = o.rows_;
      cols_ = o.cols_;
      ld_ = o.ld_;
      o.reset_extent();
    }
    return *this;
  }

  std::size_t rows() const noexcept { return rows_; }
  std::size_t cols() const noexcept { return cols_; }
  std::size_t ld() const noexcept { return ld_; }
  bool empty() const noexcept { return rows_ == 0 || cols_ == 0; }
  T& operator()(std::size_t r, std::size_t c) noexcept {
    assert(r < rows_ && c < cols_);
    return store_->data()[offset_ + c * ld_ + r];
  }
  const T& operator()(std::size_t r, std::size_t c) const noexcept {
    assert(r < rows_ && c < cols_);
    return store_->data()[offset_ + c * ld_ + r];
  }
  // Element (0, 0); column c starts at data() + c * ld(). Null when there is no storage.
  T* data() noexcept { return store_ ? store_->data() + offset_ : nullptr; }
  const T* data() const noexcept { return store_ ? store_->data() + offset_ : nullptr; }
  // Columns that fit at the current ld without a storage request.
  std::size_t capacity_cols() const noexcept {
    return store_ ? (store_->count() - offset_) / ld_ : 0;
  }
  const Ptr<storage>& storage_ptr() const noexcept { return store_; }

  // New extent; entries inside both the old and the new extent keep their (r, c), also
  // when the row count grows; new entries are zero. False (nothing changed) when refused.
  bool resize(std::size_t rows, std::size_t cols) { return resize(rows, cols, T{}); }
  // As resize(rows, cols); only the new entries become v.
  bool resize(std::size_t rows, std::size_t cols, T v) {
    if (rows == rows_ && cols == cols_) return true;
    const bool shrinking = rows <= rows_ && cols <= cols_;
    if (!(shrinking && store_) && !fits(rows, cols, shrinking)) {
      std::size_t new_ld = std::max<std::size_t>(rows, 1);
      if (cols != 0 && new_ld > std::numeric_limits<std::size_t>::max() / cols) return false;
      if (rows != 0 && cols != 0) return relayout(rows, cols, new_ld, cols, v);
    }
    if (rows == 0 || cols == 0) {
      rows_ = rows;
      cols_ = cols;
      ld_ = std::max(ld_, rows);  // no entries to keep; ld stays at least the row count
      return true;
    }
    // In place: the room is ours, fill what the new extent exposes.
    T* d = data();
    const std::size_t kc = std::min(cols, cols_);
    if (rows > rows_)
      for (std::size_t c = 0; c < kc; ++c) std::fill(d + c * ld_ + rows_, d + c * ld_ + rows, v);
    for (std::size_t c = cols_; c < cols; ++c) std::fill(d + c * ld_, d + c * ld_ + rows, v);
    rows_ = rows;
    cols_ = cols;
    return true;
  }
  // Grows to rows x cols, the entries the new extent exposes left for the caller to
  // write: their values are unspecified until then. For an output about to be written
  // whole, so that it is not written twice. Only new columns may be exposed: the row
  // count stays, or the array has no column yet. False (nothing changed) when refused or
  // when that does not hold.
  bool resize_for_overwrite(std::size_t rows, std::size_t cols) {
    if (cols < cols_ || (rows != rows_ && cols_ != 0)) return false;
    if (rows == 0 || cols == 0 || (rows == rows_ && cols == cols_)) return resize(rows, cols);
    if (fits(rows, cols, false)) {
      rows_ = rows;
      cols_ = cols;
      return true;
    }
    const std::size_t new_ld = rows;
    if (new_ld > std::numeric_limits<std::size_t>::max() / cols) return false;
    storage* s = storage::make(new_ld * cols);
    if (!s) return false;
    if (cols_ != 0) {
      if (ld_ == new_ld)
        std::memcpy(s->data(), data(), cols_ * ld_ * sizeof(T));
      else
        for (std::size_t c = 0; c < cols_; ++c)
          std::memcpy(s->data() + c * new_ld, data() + c * ld_, rows_ * sizeof(T));
    }
    return adopt(s, new_ld, rows, cols);
  }
  // Room for rows x cols without a further request; extent and contents unchanged.
  bool reserve(std::size_t rows, std::size_t cols) {
    if (rows == 0 || cols == 0) return true;
    if (fits(rows, cols, false)) return true;
    const std::size_t new_ld = std::max(rows, rows_);
    const std::size_t room = std::max(cols, cols_);
    if (new_ld > std::numeric_limits<std::size_t>::max() / room) return false;
    return relayout(rows_, cols_, new_ld, room, T{});
  }
  // Deep copy of src into this (fresh storage, ld = rows). False (unchanged) when refused.
  bool copy(const dense2D& src) {
    if (this == &src) return true;
    dense2D tmp;
    tmp.rows_ = src.rows_;
    tmp.cols_ = src.cols_;
    tmp.ld_ = std::max<std::size_t>(src.rows_, 1);
    if (!src.empty()) {
      tmp.store_ = storage::make(src.rows_ * src.cols_);
      if (!tmp.store_) return false;
      if (src.ld_ == src.rows_)  // packed columns: one block (a call per column is slow)
        std::memcpy(tmp.data(), src.data(), src.rows_ * src.cols_ * sizeof(T));
      else
        for (std::size_t c = 0; c < src.cols_; ++c)
          std::memcpy(tmp.data() + c * tmp.ld_, src.data() + c * src.ld_, src.rows_ * sizeof(T));
    }
    *this = std::move(tmp);
    return true;
  }
  // Shares src's storage, offset, extent and ld.
  void shallow_copy(const dense2D& src) noexcept { *this = src; }
  // Becomes empty (0 x 0) and lets go of the storage.
  void clear() noexcept { *this = dense2D(); }

 private:
  void reset_extent() noexcept { offset_ = rows_ = cols_ = 0, ld_ = 1; }
  // True when rows x cols fits the current storage at the current ld and may be written.
  bool fits(std::size_t rows, std::size_t cols, bool shrinking) const noexcept {
    if (!store_ || rows > ld_) return false;
    if (!shrinking && !store_.unique()) return false;
    return cols <= capacity_cols();
  }
  // Moves to fresh storage of ld x room, keeping the overlap and filling the rest of the
  // new extent with v.
  bool relayout(std::size_t rows, std::size_t cols, std::size_t new_ld, std::size_t room, T v) {
    storage* s = storage::make(new_ld * room);
    if (!s) return false;
    T* d = s->data();
    const std::size_t kr = std::min(rows, rows_), kc = std::min(cols, cols_);
    if (kr == rows && kr == ld_ && new_ld == ld_) {
      // Same layout: the kept columns are one block, the new ones follow it.
      if (kc) std::memcpy(d, data(), kc * ld_ * sizeof(T));
      std::fill(d + kc * new_ld, d + cols * new_ld, v);
    } else if (kr <= 4) {
      // Short columns (connectivities, plane and space points): a call per column would
      // cost more than the entries it moves.
      const T* from = data();
      for (std::size_t c = 0; c < cols; ++c) {
        T* col = d + c * new_ld;
        std::size_t r = 0;
        if (c < kc)
          for (; r < kr; ++r) col[r] = from[c * ld_ + r];
        for (; r < rows; ++r) col[r] = v;
      }
    } else {
      relayout_columns(d, rows, cols, kr, kc, new_ld, v);
    }
    return adopt(s, new_ld, rows, cols);
  }
  // Takes fresh storage s, already holding the entries, as the array's.
  bool adopt(storage* s, std::size_t new_ld, std::size_t rows, std::size_t cols) noexcept {
    store_ = s;
    offset_ = 0;
    ld_ = new_ld;
    rows_ = rows;
    cols_ = cols;
    return true;
  }
  // Column by column into d (ld new_ld): the kept kr x kc block copied, the rest v.
  void relayout_columns(T* d, std::size_t rows, std::size_t cols, std::size_t kr, std::size_t kc,
                        std::size_t new_ld, T v) {
    for (std::size_t c = 0; c < cols; ++c) {
      T* col = d + c * new_ld;
      if (c < kc) {
        if (kr) std::memcpy(col, data() + c * ld_, kr * sizeof(T));
        std::fill(col + kr, col + rows, v);
      } else {
        std::fill(col, col + rows, v);
      }
    }
  }

  Ptr<storage> store_;
  std::size_t offset_ = 0;
  std::size_t rows_ = 0;
  std::size_t cols_ = 0;
  std::size_t ld_ = 1;
};

// ---------------------------------------------------------------------------------------
// Small fixed vector with plain copy: vector_fixed<double, 3>{1, 2, 3}.
template <class T, std::size_t N>
struct vector_fixed {
  static_assert(N > 0, "vector_fixed needs at least one entry");
  T entries[N];

  static constexpr std::size_t size() noexcept { return N; }
  T& operator[](std::size_t k) noexcept {
    assert(k < N);
    return entries[k];
  }
  const T& operator[](std::size_t k) const noexcept {
    assert(k < N);
    return entries[k];
  }
  // Every entry becomes s.
  vector_fixed& operator=(T s) noexcept {
    std::fill(entries, entries + N, s);
    return *this;
  }
  T* data() noexcept { return entries; }
  const T* data() const noexcept { return entries; }
};

// Small symmetric N x N matrix stored as its upper triangle in packed column order:
// N = 2: (m00, m01, m11); N = 3: (m00, m01, m11, m02, m12, m22), as LAPACK's 'U' packing.
template <class T, std::size_t N>
struct symmetric_fixed {
  static_assert(N > 0, "symmetric_fixed needs at least one row");
  static constexpr std::size_t packed = N * (N + 1) / 2;
  T entries[packed];

  static constexpr std::size_t size() noexcept { return packed; }
  // Packed index of (i, j) for either triangle.
  static constexpr std::size_t index(std::size_t i, std::size_t j) noexcept {
    return i <= j ? j * (j + 1) / 2 + i : i * (i + 1) / 2 + j;
  }
  T& operator[](std::size_t k) noexcept {
    assert(k < packed);
    return entries[k];
  }
  const T& operator[](std::size_t k) const noexcept {
    assert(k < packed);
    return entries[k];
  }
  T& operator()(std::size_t i, std::size_t j) noexcept {
    assert(i < N && j < N);
    return entries[index(i, j)];
  }
  const T& operator()(std::size_t i, std::size_t j) const noexcept {
    assert(i < N && j < N);
    return entries[index(i, j)];
  }
  // Every stored entry becomes s.
  symmetric_fixed& operator=(T s) noexcept {
    std::fill(entries, entries + packed, s);
    return *this;
  }
  T* data() noexcept { return entries; }
  const T* data() const noexcept { return entries; }
};

}  // namespace orvo
