#include "nimbrel_tavik_util/set_cover_io.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <istream>
#include <iterator>
#include <limits>
#include <string>

#include "io/quote.hpp"

namespace nimbrel_tavik_util {

std::string CoverInstance::setLabel(int column) const {
  if (!setNames.empty()) return setNames[static_cast<std::size_t>(column)];
  return std::to_string(setIds[static_cast<std::size_t>(column)]);
}

std::string CoverInstance::elementLabel(int row) const {
  if (!elementNames.empty()) return elementNames[static_cast<std::size_t>(row)];
  return std::to_string(elementLabels[static_cast<std::size_t>(row)]);
}

nimbrel_tavik_util::CoverMatrix CoverInstance::matrix(bool weighted) const {
  nimbrel_tavik_util::CoverMatrix m;
  m.elements = elements;
  m.sets = sets();
  m.setStart = setStart.data();
  m.elementIndex = elementIndex.data();
  m.costs = weighted ? costs.data() : nullptr;
  return m;
}

InstanceError::InstanceError(std::string where, const std::string& what)
    : std::runtime_error(io::escapeText(what)), where_(io::escapeText(where)) {}

CoverInstance readInstanceText(std::string_view text, InstanceFormat format,
                               const InstanceWarning& warn) {
  switch (format) {
    case InstanceFormat::orlib:
      return readOrLibrary(text);
    case InstanceFormat::rail:
      return readRail(text);
    case InstanceFormat::steiner:
      return readSteiner(text);
    case InstanceFormat::json:
      return readJsonDocument(text);
    case InstanceFormat::yaml:
      return readYamlDocument(text, warn);
    case InstanceFormat::mps:
      return readMps(text);
    case InstanceFormat::lp:
      return readLp(text);
  }
  return readOrLibrary(text);
}

CoverInstance readInstance(const std::string& path, std::optional<InstanceFormat> format,
                           const InstanceWarning& warn) {
  const InstanceText input(path);
  const InstanceFormat f = format ? *format
                           : path == "-"
                               ? instanceFormatFromText(input.text(), InstanceFormat::orlib)
                               : instanceFormatFromPath(path);
  return readInstanceText(input.text(), f, warn);
}

CoverInstance readInstance(std::istream& in, std::optional<InstanceFormat> format,
                           const InstanceWarning& warn) {
  const InstanceText input(in);
  const InstanceFormat f =
      format ? *format : instanceFormatFromText(input.text(), InstanceFormat::orlib);
  return readInstanceText(input.text(), f, warn);
}

namespace {

bool isGzip(std::string_view data) {
  return data.size() >= 2 && static_cast<unsigned char>(data[0]) == 0x1f &&
         static_cast<unsigned char>(data[1]) == 0x8b;
}

}  // namespace

InstanceText::Inflated::~Inflated() {
  if (map != nullptr) ::munmap(map, capacity);
}

void InstanceText::inflateInto(std::string_view data, std::size_t limit, Inflated& out) {
  z_stream z{};
  // 16 + MAX_WBITS: gzip wrapping only.
  if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) {
    throw InstanceError("", "compressed input: cannot start zlib");
  }
  // An anonymous mapping grown by mremap: pages are only used as they are written, and growing
  // moves no bytes, so the memory is what was decompressed (a std::string that doubles needs up
  // to three times that while it copies).
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const auto roundUp = [page](std::size_t n) { return (n + page - 1) / page * page; };
  const std::size_t most = roundUp(limit + 1);  // one byte past the limit shows it was passed
  const auto fail = [&z](const std::string& what) {
    inflateEnd(&z);
    throw InstanceError("", what);
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
    throw InstanceError("", "compressed input decompresses to more than " + std::to_string(limit) +
                                " bytes, the most read from compressed input (decompress it first: "
                                "plain files are read mapped, without this limit)");
  }
}

std::string InstanceText::gunzip(std::string_view data, std::size_t limit) {
  Inflated out;
  inflateInto(data, limit, out);
  return std::string(static_cast<const char*>(out.map), out.size);
}

InstanceText::InstanceText(const std::string& path) {
  std::string_view raw;
  if (path == "-") {
    owned_.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    if (std::cin.bad()) throw InstanceError("", "cannot read standard input");
    raw = owned_;
  } else {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw InstanceError("", std::string("cannot open: ") + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
      const int err = errno;
      ::close(fd);
      throw InstanceError("", std::string("cannot read the file: ") + std::strerror(err));
    }
    if (S_ISDIR(st.st_mode)) {
      ::close(fd);
      throw InstanceError("", "is a folder, not a file");
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
          throw InstanceError("", std::string("cannot read the file: ") + std::strerror(err));
        }
        owned_.append(buf, static_cast<std::size_t>(got));
      }
      raw = owned_;
    }
    ::close(fd);
  }
  finish(raw);
}

InstanceText::InstanceText(std::istream& in) {
  owned_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) throw InstanceError("", "cannot read the stream");
  finish(owned_);
}

void InstanceText::finish(std::string_view raw) {
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

InstanceText::~InstanceText() {
  if (map_ != nullptr) ::munmap(map_, mapSize_);
}

}  // namespace nimbrel_tavik_util
