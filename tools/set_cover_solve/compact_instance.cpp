#include "set_cover_solve/compact_instance.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <iterator>
#include <limits>

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

std::string InputText::gunzip(std::string_view data) {
  z_stream z{};
  // 16 + MAX_WBITS: gzip wrapping only.
  if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) {
    throw InputError("", "compressed input: cannot start zlib");
  }
  std::string out;
  out.resize(data.size() < (1u << 16) ? (1u << 16) : data.size() * 4);
  std::size_t produced = 0;
  std::size_t consumed = 0;
  int rc = Z_OK;
  for (;;) {
    const std::size_t inLeft = data.size() - consumed;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + consumed));
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(inLeft, 1u << 30));
    if (produced == out.size()) out.resize(out.size() * 2);
    z.next_out = reinterpret_cast<Bytef*>(&out[produced]);
    z.avail_out = static_cast<uInt>(std::min<std::size_t>(out.size() - produced, 1u << 30));
    const uInt availIn = z.avail_in;
    const uInt availOut = z.avail_out;
    rc = inflate(&z, Z_NO_FLUSH);
    consumed += availIn - z.avail_in;
    produced += availOut - z.avail_out;
    if (rc == Z_STREAM_END) {
      if (consumed == data.size()) break;
      // Another member follows (as `cat a.gz b.gz` makes).
      if (!isGzip(data.substr(consumed))) {
        inflateEnd(&z);
        throw InputError("", "compressed input: data after the end of the gzip stream");
      }
      inflateReset(&z);
      continue;
    }
    if (rc == Z_OK || (rc == Z_BUF_ERROR && produced == out.size())) continue;
    const std::string why = z.msg != nullptr    ? z.msg
                            : rc == Z_BUF_ERROR ? "it ends too early"
                                                : "zlib error " + std::to_string(rc);
    inflateEnd(&z);
    throw InputError("", "compressed input cannot be read: " + why);
  }
  inflateEnd(&z);
  out.resize(produced);
  return out;
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
    std::string plain = gunzip(raw);
    if (map_ != nullptr) {
      ::munmap(map_, mapSize_);
      map_ = nullptr;
    }
    owned_ = std::move(plain);
    raw = owned_;
    compressed_ = true;
  }
  text_ = raw;
}

InputText::~InputText() {
  if (map_ != nullptr) ::munmap(map_, mapSize_);
}

}  // namespace set_cover_solve
