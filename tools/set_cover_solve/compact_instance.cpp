#include "set_cover_solve/compact_instance.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <iterator>
#include <limits>
#include <string>

namespace set_cover_solve {

std::string CompactInstance::setLabel(int column) const {
  if (!setNames.empty()) return setNames[static_cast<std::size_t>(column)];
  return std::to_string(setIds[static_cast<std::size_t>(column)]);
}

std::string CompactInstance::elementLabel(int row) const {
  if (!elementNames.empty()) return elementNames[static_cast<std::size_t>(row)];
  return std::to_string(elementLabels[static_cast<std::size_t>(row)]);
}

nimbrel_tavik_util::CoverMatrix CompactInstance::matrix(bool weighted) const {
  nimbrel_tavik_util::CoverMatrix m;
  m.elements = elements;
  m.sets = sets();
  m.setStart = setStart.data();
  m.elementIndex = elementIndex.data();
  m.costs = weighted ? costs.data() : nullptr;
  return m;
}

std::map<int, std::set<int>> toMapForm(const CompactInstance& instance) {
  std::map<int, std::set<int>> sets;
  for (int j = 0; j < instance.sets(); ++j) {
    std::set<int>& s = sets[instance.setIds[static_cast<std::size_t>(j)]];
    for (std::int64_t e = instance.setStart[j]; e < instance.setStart[j + 1]; ++e) {
      s.insert(s.end(), instance.elementIndex[static_cast<std::size_t>(e)]);
    }
  }
  return sets;
}

InstanceCounts countInstance(const CompactInstance& instance) {
  InstanceCounts c;
  c.sets = static_cast<std::size_t>(instance.sets());
  c.elements = static_cast<std::size_t>(instance.elements);
  c.entries = instance.entries();
  return c;
}

std::string_view withoutBom(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return text;
}

CompactInstance readInstanceText(std::string_view text, Format format, const WarningSink& warn) {
  switch (format) {
    case Format::orlib:
      return readOrLibrary(text);
    case Format::steiner:
      return readSteiner(text);
    case Format::json:
      return readJsonDocument(text);
    case Format::yaml:
      return readYamlDocument(text, warn);
  }
  return readOrLibrary(text);
}

namespace {

bool isGzip(std::string_view data) {
  return data.size() >= 2 && static_cast<unsigned char>(data[0]) == 0x1f &&
         static_cast<unsigned char>(data[1]) == 0x8b;
}

}  // namespace

InputText::Inflated::~Inflated() {
  if (map != nullptr) ::munmap(map, capacity);
}

void InputText::inflateInto(std::string_view data, std::size_t limit, Inflated& out) {
  z_stream z{};
  // 16 + MAX_WBITS: gzip wrapping only.
  if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) {
    throw InputError("", "compressed input: cannot start zlib");
  }
  // An anonymous mapping grown by mremap: pages are only used as they are written, and growing
  // moves no bytes, so the memory is what was decompressed (a std::string that doubles needs up
  // to three times that while it copies).
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const auto roundUp = [page](std::size_t n) { return (n + page - 1) / page * page; };
  const std::size_t most = roundUp(limit + 1);  // one byte past the limit shows it was passed
  const auto fail = [&z](const std::string& what) {
    inflateEnd(&z);
    throw InputError("", what);
  };
  const auto grow = [&](std::size_t want) {
    want = std::min(roundUp(want), most);
    void* p = out.map == nullptr ? ::mmap(nullptr, want, PROT_READ | PROT_WRITE,
                                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                                 : ::mremap(out.map, out.capacity, want, MREMAP_MAYMOVE);
    if (p == MAP_FAILED)
      fail("compressed input: out of memory after " + std::to_string(out.size) + " bytes");
    out.map = p;
    out.capacity = want;
  };
  grow(std::max<std::size_t>(std::size_t{1} << 20, std::min(data.size(), limit / 4) * 4));
  std::size_t consumed = 0;
  for (;;) {
    const std::size_t inLeft = data.size() - consumed;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + consumed));
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(inLeft, 1u << 30));
    if (out.size == out.capacity) {
      if (out.capacity == most) {
        fail("compressed input decompresses to more than " + std::to_string(limit) +
             " bytes, the most read from compressed input (decompress it first: plain files are "
             "read mapped, without this limit)");
      }
      grow(out.capacity * 2);
    }
    z.next_out = reinterpret_cast<Bytef*>(static_cast<char*>(out.map) + out.size);
    z.avail_out = static_cast<uInt>(std::min<std::size_t>(out.capacity - out.size, 1u << 30));
    const uInt availIn = z.avail_in;
    const uInt availOut = z.avail_out;
    const int rc = inflate(&z, Z_NO_FLUSH);
    consumed += availIn - z.avail_in;
    out.size += availOut - z.avail_out;
    if (rc == Z_STREAM_END) {
      if (consumed == data.size()) break;
      // Another member follows (as `cat a.gz b.gz` makes).
      if (!isGzip(data.substr(consumed))) {
        fail("compressed input: data after the end of the gzip stream");
      }
      inflateReset(&z);
      continue;
    }
    if (rc == Z_OK || (rc == Z_BUF_ERROR && out.size == out.capacity)) continue;
    const std::string why = z.msg != nullptr    ? z.msg
                            : rc == Z_BUF_ERROR ? "it ends too early"
                                                : "zlib error " + std::to_string(rc);
    fail("compressed input cannot be read: " + why);
  }
  inflateEnd(&z);
  if (out.size > limit) {
    throw InputError("", "compressed input decompresses to more than " + std::to_string(limit) +
                             " bytes, the most read from compressed input (decompress it first: "
                             "plain files are read mapped, without this limit)");
  }
}

std::string InputText::gunzip(std::string_view data, std::size_t limit) {
  Inflated out;
  inflateInto(data, limit, out);
  return std::string(static_cast<const char*>(out.map), out.size);
}

InputText::InputText(const std::string& path) {
  std::string_view raw;
  if (path == "-") {
    owned_.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    if (std::cin.bad()) throw InputError("", "cannot read standard input");
    raw = owned_;
  } else {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw InputError("", std::string("cannot open: ") + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
      const int err = errno;
      ::close(fd);
      throw InputError("", std::string("cannot read the file: ") + std::strerror(err));
    }
    if (S_ISDIR(st.st_mode)) {
      ::close(fd);
      throw InputError("", "is a folder, not a file");
    }
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
      mapSize_ = static_cast<std::size_t>(st.st_size);
      void* p = ::mmap(nullptr, mapSize_, PROT_READ, MAP_PRIVATE, fd, 0);
      if (p == MAP_FAILED) {
        mapSize_ = 0;
      } else {
        map_ = p;
        ::madvise(map_, mapSize_, MADV_SEQUENTIAL);
        raw = std::string_view(static_cast<const char*>(map_), mapSize_);
      }
    }
    if (map_ == nullptr) {
      // Pipes, devices and empty files: read to the end.
      char buf[1 << 16];
      for (;;) {
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got == 0) break;
        if (got < 0) {
          if (errno == EINTR) continue;
          const int err = errno;
          ::close(fd);
          throw InputError("", std::string("cannot read the file: ") + std::strerror(err));
        }
        owned_.append(buf, static_cast<std::size_t>(got));
      }
      raw = owned_;
    }
    ::close(fd);
  }
  if (isGzip(raw)) {
    inflateInto(raw, kMaxDecompressedBytes, inflated_);
    if (map_ != nullptr) {
      ::munmap(map_, mapSize_);
      map_ = nullptr;
    }
    std::string().swap(owned_);
    raw = std::string_view(static_cast<const char*>(inflated_.map), inflated_.size);
    compressed_ = true;
  }
  text_ = raw;
}

InputText::~InputText() {
  if (map_ != nullptr) ::munmap(map_, mapSize_);
}

}  // namespace set_cover_solve
