#include "VOKDYNShapes.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "VOKDYNNpy.h"

namespace vokdyn {

// A private mapping (of a whole file, read-only, or anonymous); unmapped,
// and the file closed, when the last view of it goes.
struct ModeShapes::Mapping {
  void* address = nullptr;
  std::size_t length = 0;
  int fd = -1;              // the file, for the rows read by ReadRows
  std::uint64_t data = 0;   // offset of the values in the file
  Mapping(void* iAddress, std::size_t iLength, int iFd) : address(iAddress), length(iLength), fd(iFd) {}
  ~Mapping() {
    munmap(address, length);
    if (fd >= 0) close(fd);
  }
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;
};

ModeShapes::ModeShapes(std::vector<double> iValues, std::size_t iModes, std::size_t iNodes)
    : _Modes(iModes), _Nodes(iNodes) {
  if (iValues.size() != iModes * iNodes * 6)
    throw std::invalid_argument("ModeShapes: " + std::to_string(iValues.size()) + " values for " +
                                std::to_string(iModes) + " modes of " + std::to_string(iNodes) + " nodes");
  auto owner = std::make_shared<const std::vector<double>>(std::move(iValues));
  _Data = std::shared_ptr<const double>(owner, owner->data());
}

ModeShapes::ModeShapes(std::shared_ptr<const double> iData, std::size_t iModes, std::size_t iNodes, bool iChecked)
    : _Data(std::move(iData)), _Modes(iModes), _Nodes(iNodes), _Checked(iChecked) {}

ModeShapes ModeShapes::FromRows(const std::vector<std::vector<Vec6>>& iModes) {
  const std::size_t nodes = iModes.empty() ? 0 : iModes.front().size();
  std::vector<double> values;
  values.reserve(iModes.size() * nodes * 6);
  for (const std::vector<Vec6>& mode : iModes) {
    if (mode.size() != nodes) throw std::invalid_argument("ModeShapes::FromRows: the modes have different row counts");
    for (const Vec6& row : mode) values.insert(values.end(), row.begin(), row.end());
  }
  return ModeShapes(std::move(values), iModes.size(), nodes);
}

Vec6 ModeShapes::RowValues(std::size_t iMode, std::size_t iNode) const {
  Vec6 row;
  std::copy(Row(iMode, iNode), Row(iMode, iNode) + 6, row.begin());
  return row;
}

std::vector<Vec6> ModeShapes::ModeRows(std::size_t iMode) const {
  std::vector<Vec6> rows(_Nodes);
  for (std::size_t i = 0; i < _Nodes; ++i) rows[i] = RowValues(iMode, i);
  return rows;
}

bool ModeShapes::FirstNonFinite(const std::vector<std::size_t>* iNodes, Element& oElement) const {
  if (_Checked || _Modes == 0) return false;
  std::vector<std::size_t> nodes;
  if (iNodes) {
    nodes = *iNodes;
    std::sort(nodes.begin(), nodes.end());
    nodes.erase(std::unique(nodes.begin(), nodes.end()), nodes.end());
  }
  for (std::size_t j = 0; j < _Modes; ++j) {
    const std::size_t count = iNodes ? nodes.size() : _Nodes;
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t i = iNodes ? nodes[k] : k;
      const double* row = Row(j, i);
      // One test per row in the common case: x * 0 is a zero when x is
      // finite and a nan otherwise.
      if (std::isfinite(row[0] * 0.0 + row[1] * 0.0 + row[2] * 0.0 + row[3] * 0.0 + row[4] * 0.0 + row[5] * 0.0))
        continue;
      for (std::size_t c = 0; c < 6; ++c)
        if (!std::isfinite(row[c])) {
          oElement = Element{j, i, c, row[c]};
          return true;
        }
    }
  }
  return false;
}

void ModeShapes::AdviseSequential(bool iSequential) const {
  if (!_Mapping) return;
  // Advice only: a kernel that ignores it reads the same bytes.
  (void)madvise(_Mapping->address, _Mapping->length, iSequential ? MADV_SEQUENTIAL : MADV_RANDOM);
}

namespace {

// Reads iBytes at iOffset of iFd whole; false on an error or the end.
bool ReadAt(int iFd, char* oTo, std::size_t iBytes, std::uint64_t iOffset) {
  std::size_t done = 0;
  while (done < iBytes) {
    const ssize_t got = pread(iFd, oTo + done, iBytes - done, static_cast<off_t>(iOffset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace

ModeShapes ModeShapes::ReadRows(const std::vector<std::size_t>& iNodes) const {
  if (!_Mapping || _Mapping->fd < 0) return *this;
  // Untouched pages of an anonymous mapping take no memory: only the pages
  // of the rows read do.
  const std::size_t length = _Modes * _Nodes * 6 * sizeof(double);
  void* address = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (address == MAP_FAILED) return *this;
  auto rows = std::make_shared<Mapping>(address, length, -1);
  double* values = static_cast<double*>(address);
  for (std::size_t j = 0; j < _Modes; ++j)
    for (std::size_t i : iNodes) {
      const std::size_t at = (j * _Nodes + i) * 6;
      // On a failed read, the mapping reads the same bytes.
      if (!ReadAt(_Mapping->fd, reinterpret_cast<char*>(values + at), 6 * sizeof(double),
                  _Mapping->data + at * sizeof(double)))
        return *this;
    }
  ModeShapes out(std::shared_ptr<const double>(rows, values), _Modes, _Nodes, _Checked);
  out._Flat = _Flat;
  return out;
}


void ModeShapes::Passed(std::size_t iMode, std::size_t iFirst, std::size_t iCount) const {
  if (!_Mapping || _Mapping->fd < 0) return;
  // The whole pages of these rows leave this process; the page cache keeps
  // them, so a later read maps them again without reading the file.
  static const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(Row(iMode, iFirst));
  const std::uintptr_t end = begin + iCount * 6 * sizeof(double);
  const std::uintptr_t first = (begin + page - 1) / page * page, last = end / page * page;
  if (last > first) (void)madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

bool ModeShapes::SameValues(const ModeShapes& iOther) const {
  if (_Modes != iOther._Modes || _Nodes != iOther._Nodes) return false;
  const std::size_t bytes = _Modes * _Nodes * 6 * sizeof(double);
  return bytes == 0 || std::memcmp(_Data.get(), iOther._Data.get(), bytes) == 0;
}

ModeShapes MapNpyModeShapes(const std::string& iPath, std::size_t iModes, std::size_t iNodes) {
  const int fd = open(iPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error(std::strerror(errno));
  struct stat status {};
  if (fstat(fd, &status) != 0) {
    const int error = errno;
    close(fd);
    throw std::runtime_error(std::strerror(error));
  }
  if (S_ISDIR(status.st_mode)) {
    close(fd);
    throw std::runtime_error(std::strerror(EISDIR));
  }
  if (!S_ISREG(status.st_mode)) {
    // A pipe cannot be mapped: read to its end.
    std::string bytes;
    char chunk[65536];
    for (;;) {
      const ssize_t got = read(fd, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        const int error = errno;
        close(fd);
        throw std::runtime_error(std::strerror(error));
      }
      if (got == 0) break;
      bytes.append(chunk, static_cast<std::size_t>(got));
    }
    close(fd);
    return DecodeModeShapes(bytes, iModes, iNodes);
  }
  const std::size_t length = static_cast<std::size_t>(status.st_size);
  // An empty file cannot be mapped; it is refused by the header check.
  if (length == 0) {
    close(fd);
    return DecodeModeShapes(std::string_view(), iModes, iNodes);
  }
  void* address = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, fd, 0);
  if (address == MAP_FAILED) {
    const int error = errno;
    close(fd);
    throw std::runtime_error(std::strerror(error));
  }
  auto mapping = std::make_shared<ModeShapes::Mapping>(address, length, fd);
  const std::string_view bytes(static_cast<const char*>(address), length);
  const NpyHeader header = ParseNpyHeader(bytes);  // throws: the mapping goes with `mapping`
  CheckModeShapesHeader(header, length, iModes, iNodes);
  mapping->data = header.dataOffset;
  const char* data = bytes.data() + header.dataOffset;
  const std::uint16_t one = 1;
  unsigned char first = 0;
  std::memcpy(&first, &one, 1);
  // The data of a file written by numpy starts on a 64-byte boundary; one
  // that does not (a hand-made header) is read from a copy, as on a host
  // whose doubles are big-endian.
  const bool inPlace = first == 1 && header.dataOffset % alignof(double) == 0;
  ModeShapes shapes;
  if (inPlace) {
    shapes = ModeShapes(std::shared_ptr<const double>(mapping, reinterpret_cast<const double*>(data)), iModes,
                        iNodes, false);
    shapes._Mapping = mapping;
    shapes.AdviseSequential(false);
  } else {
    auto values = std::make_shared<const std::vector<double>>(LittleEndianDoubles(data, iModes * iNodes * 6));
    shapes = ModeShapes(std::shared_ptr<const double>(values, values->data()), iModes, iNodes, false);
  }
  shapes.SetFlatIndex(header.shape.size() == 2);
  return shapes;
}

}  // namespace vokdyn
