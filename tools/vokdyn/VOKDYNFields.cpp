#include "VOKDYNFields.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <unordered_map>

#include <sys/stat.h>

#include <cerrno>

#include "VOKDYNFrdReader.h"
#include "VOKDYNModalSolver.h"
#include "VOKDYNOutput.h"
#include "VOKDYNTextWriter.h"

namespace vokdyn {

namespace {

// Frequencies per register block, and degrees of freedom per block of the
// modes' rows kept in the second-level cache while every frequency block
// passes over it (a whole number of the widest kernel's 24 degrees of
// freedom, so that only a range's end runs one vector at a time).
constexpr std::size_t kFreqBlock = 4;
constexpr std::size_t kDofBlock = 480;
static_assert(kDofBlock % (3 * kFieldLanes) == 0, "a block of degrees of freedom is whole wide steps");

typedef double Lanes __attribute__((vector_size(kFieldLanes * sizeof(double))));

// kFreqBlock frequencies (their q in qRe/qIm, [fb * modes + i]) over the
// degrees of freedom from iD0, kVectors vectors of kFieldLanes at a time
// while whole ones fit before iD1, their 2 x kFreqBlock x kVectors running
// sums in registers across all modes; returns where it stopped. Each
// product is rounded, then added (the build never contracts them): the
// sweep's operations in the sweep's order, whatever the width. Every
// frequency's sums take the same mode's row: the more vectors at once, the
// fewer loads per product (the broadcast q and the row are shared). With
// iAhead, each row's iLine-th vector iAhead further on is fetched into the
// cache meanwhile (the next block's, which the hardware does not foresee:
// a few hundred bytes from each of many rows far apart).
template <std::size_t kVectors>
inline __attribute__((always_inline)) std::size_t SumVectors(const double* iPhi, std::size_t iStride,
                                                             std::size_t iModes, const double* iQRe,
                                                             const double* iQIm, std::size_t iD0, std::size_t iD1,
                                                             double* oRe, double* oIm, std::size_t iOutStride,
                                                             std::size_t iAhead = 0, std::size_t iLine = 0) {
  constexpr std::size_t kWidth = kVectors * kFieldLanes;
  std::size_t d = iD0;
  for (; d + kWidth <= iD1; d += kWidth) {
    Lanes re[kFreqBlock][kVectors], im[kFreqBlock][kVectors];
#pragma GCC unroll 16
    for (std::size_t f = 0; f < kFreqBlock; ++f)
#pragma GCC unroll 16
      for (std::size_t v = 0; v < kVectors; ++v) re[f][v] = im[f][v] = Lanes{} + 0.0;
    const double* p = iPhi + d;
    for (std::size_t i = 0; i < iModes; ++i, p += iStride) {
      Lanes phi[kVectors];
#pragma GCC unroll 16
      for (std::size_t v = 0; v < kVectors; ++v) std::memcpy(&phi[v], p + v * kFieldLanes, sizeof(Lanes));
      if (iAhead) __builtin_prefetch(p + iAhead + iLine * kFieldLanes);
#pragma GCC unroll 16
      for (std::size_t f = 0; f < kFreqBlock; ++f) {
        const double qRe = iQRe[f * iModes + i], qIm = iQIm[f * iModes + i];
#pragma GCC unroll 16
        for (std::size_t v = 0; v < kVectors; ++v) {
          re[f][v] = re[f][v] + phi[v] * qRe;
          im[f][v] = im[f][v] + phi[v] * qIm;
        }
      }
    }
#pragma GCC unroll 16
    for (std::size_t f = 0; f < kFreqBlock; ++f)
#pragma GCC unroll 16
      for (std::size_t v = 0; v < kVectors; ++v) {
        std::memcpy(oRe + f * iOutStride + d + v * kFieldLanes, &re[f][v], sizeof(Lanes));
        std::memcpy(oIm + f * iOutStride + d + v * kFieldLanes, &im[f][v], sizeof(Lanes));
      }
  }
  return d;
}

// One block: kFreqBlock frequencies over degrees of freedom [iD0, iD1), a
// vector at a time. Compiled for each instruction set the processor may
// offer (with fewer than 32 vector registers wider blocks would spill).
__attribute__((target_clones("avx512f", "avx2", "default")))
void SumBlock(const double* iPhi, std::size_t iStride, std::size_t iModes, const double* iQRe,
              const double* iQIm, std::size_t iD0, std::size_t iD1, double* oRe, double* oIm,
              std::size_t iOutStride) {
  SumVectors<1>(iPhi, iStride, iModes, iQRe, iQIm, iD0, iD1, oRe, oIm, iOutStride);
}

// The same with AVX-512's 32 registers: three vectors at a time (24 sums),
// the last vectors of the block one at a time; the first three passes over
// a block each fetch one of the three vectors of every step of the next
// block (iNext: that block is whole and this range's). Prefetching on
// every pass would cost more loads than it saves.
constexpr std::size_t kWide = 3;
__attribute__((target("avx512f")))
void SumBlockWide(const double* iPhi, std::size_t iStride, std::size_t iModes, const double* iQRe,
                  const double* iQIm, std::size_t iD0, std::size_t iD1, double* oRe, double* oIm,
                  std::size_t iOutStride, bool iNext, std::size_t iPass) {
  const bool ahead = iNext && iPass < kWide;
  const std::size_t d = SumVectors<kWide>(iPhi, iStride, iModes, iQRe, iQIm, iD0, iD1, oRe, oIm, iOutStride,
                                          ahead ? kDofBlock : 0, iPass);
  SumVectors<1>(iPhi, iStride, iModes, iQRe, iQIm, d, iD1, oRe, oIm, iOutStride);
}

// Degrees of freedom [iD0, iD1) at every frequency: blocks of kDofBlock,
// each passed over by every block of frequencies.
void SumRange(const FieldBasis& iBasis, const std::vector<double>& iQRe, const std::vector<double>& iQIm,
              std::size_t iFrequencies, std::size_t iD0, std::size_t iD1, double* oRe, double* oIm) {
  static const bool wide = __builtin_cpu_supports("avx512f");
  const std::size_t n = iBasis.modes;
  std::vector<double> scratchRe(kFreqBlock * iBasis.stride), scratchIm(kFreqBlock * iBasis.stride);
  for (std::size_t b0 = iD0; b0 < iD1; b0 += kDofBlock) {
    const std::size_t b1 = std::min(iD1, b0 + kDofBlock);
    for (std::size_t f0 = 0; f0 < iFrequencies; f0 += kFreqBlock) {
      const std::size_t count = std::min(kFreqBlock, iFrequencies - f0);
      // A last block of fewer frequencies runs on zero q into scratch rows.
      const bool whole = count == kFreqBlock;
      double* re = whole ? oRe + f0 * iBasis.stride : scratchRe.data();
      double* im = whole ? oIm + f0 * iBasis.stride : scratchIm.data();
      if (wide)
        SumBlockWide(iBasis.phi.data(), iBasis.stride, n, iQRe.data() + f0 * n, iQIm.data() + f0 * n, b0, b1, re,
                     im, iBasis.stride, b1 + kDofBlock <= iD1, f0 / kFreqBlock);
      else
        SumBlock(iBasis.phi.data(), iBasis.stride, n, iQRe.data() + f0 * n, iQIm.data() + f0 * n, b0, b1, re, im,
                 iBasis.stride);
      if (!whole)
        for (std::size_t f = 0; f < count; ++f) {
          std::copy(re + f * iBasis.stride + b0, re + f * iBasis.stride + b1, oRe + (f0 + f) * iBasis.stride + b0);
          std::copy(im + f * iBasis.stride + b0, im + f * iBasis.stride + b1, oIm + (f0 + f) * iBasis.stride + b0);
        }
    }
  }
}

void AppendRaw(std::string& ioData, const void* iBytes, std::size_t iSize) {
  const std::uint64_t size = iSize;
  ioData.append(reinterpret_cast<const char*>(&size), sizeof size);
  ioData.append(static_cast<const char*>(iBytes), iSize);
}

std::string XmlNumber(double iValue) {
  char buffer[kGeneralMax];
  return std::string(buffer, WriteGeneral(buffer, iValue, 9));
}

std::string XmlEscape(const std::string& iText) {
  std::string out;
  for (char c : iText) {
    if (c == '&') out += "&amp;";
    else if (c == '<') out += "&lt;";
    else if (c == '>') out += "&gt;";
    else if (c == '"') out += "&quot;";
    else out += c;
  }
  return out;
}

}  // namespace

FieldBasis MakeFieldBasis(const Model& iModel) {
  FieldBasis basis;
  basis.nodes = iModel.nodes.size();
  basis.modes = iModel.base.modes.size();
  // Rotations are written when anything can move them: a shape, an
  // enforced field, a rotation of the base, or an output that asks for one.
  auto turns = [](const Vec6& iRow) { return iRow[3] != 0.0 || iRow[4] != 0.0 || iRow[5] != 0.0; };
  bool rotations = false;
  for (const Mode& m : iModel.base.modes)
    for (const Vec6& row : m.shape) rotations = rotations || turns(row);
  for (const Enforced& e : iModel.enforced)
    for (const Vec6& row : e.staticDisplacement) rotations = rotations || turns(row);
  for (const BaseDirection& d : iModel.baseMotion.directions) rotations = rotations || d.direction > 3;
  for (const Output& o : iModel.outputs) rotations = rotations || o.component > 3;
  basis.components = rotations ? 6 : 3;
  const std::size_t dofs = basis.Dofs();
  basis.stride = (dofs + kFieldLanes - 1) / kFieldLanes * kFieldLanes;
  basis.phi.assign(basis.modes * basis.stride, 0.0);
  for (std::size_t i = 0; i < basis.modes; ++i) {
    double* row = basis.phi.data() + i * basis.stride;
    const std::vector<Vec6>& shape = iModel.base.modes[i].shape;
    for (std::size_t n = 0; n < basis.nodes; ++n)
      for (std::size_t c = 0; c < basis.components; ++c) row[n * basis.components + c] = shape[n][c];
  }
  return basis;
}

void ModalFieldSum(const FieldBasis& iBasis, const std::complex<double>* iQ, std::size_t iFrequencies,
                   double* oRe, double* oIm, int iThreads) {
  const std::size_t n = iBasis.modes;
  // Whole blocks of frequencies: a last block of fewer reads zero q.
  const std::size_t padded = (iFrequencies + kFreqBlock - 1) / kFreqBlock * kFreqBlock;
  std::vector<double> qRe(padded * n, 0.0), qIm(padded * n, 0.0);
  for (std::size_t k = 0; k < iFrequencies * n; ++k) {
    qRe[k] = iQ[k].real();
    qIm[k] = iQ[k].imag();
  }
  const std::size_t blocks = (iBasis.stride + kDofBlock - 1) / kDofBlock;
  std::size_t threads = iThreads < 1 ? 1 : static_cast<std::size_t>(iThreads);
  threads = std::max<std::size_t>(1, std::min(threads, blocks));
  auto range = [&](std::size_t w) {
    const std::size_t d0 = std::min(iBasis.stride, blocks * w / threads * kDofBlock);
    const std::size_t d1 = std::min(iBasis.stride, blocks * (w + 1) / threads * kDofBlock);
    SumRange(iBasis, qRe, qIm, iFrequencies, d0, d1, oRe, oIm);
  };
  std::vector<std::thread> workers;
  for (std::size_t w = 1; w < threads; ++w) workers.emplace_back(range, w);
  range(0);
  for (std::thread& t : workers) t.join();
}

int VtkCellType(int iFrdType) {
  switch (iFrdType) {
    case 1: return 12;   // hexahedron
    case 2: return 13;   // wedge
    case 3: return 10;   // tetrahedron
    case 4: return 25;   // quadratic hexahedron
    case 5: return 26;   // quadratic wedge
    case 6: return 24;   // quadratic tetrahedron
    case 7: return 5;    // triangle
    case 8: return 22;   // quadratic triangle
    case 9: return 9;    // quad
    case 10: return 23;  // quadratic quad
    case 11: return 3;   // line
    case 12: return 21;  // quadratic edge
    default: return 0;
  }
}

FieldMesh MakeFieldMesh(const Model& iModel) {
  const std::vector<Element>& elements = iModel.elements;
  FieldMesh mesh;
  std::unordered_map<int, long long> index;
  for (std::size_t n = 0; n < iModel.nodes.size(); ++n) {
    mesh.points.push_back(iModel.nodes[n].xyz);
    index.emplace(iModel.nodes[n].id, static_cast<long long>(n));
  }
  if (elements.empty()) {
    for (std::size_t n = 0; n < iModel.nodes.size(); ++n) {
      mesh.connectivity.push_back(static_cast<long long>(n));
      mesh.offsets.push_back(static_cast<long long>(n + 1));
      mesh.types.push_back(1);  // vertex
    }
    return mesh;
  }
  for (const Element& e : elements) {
    int type = VtkCellType(e.type);
    if (type == 0) throw std::invalid_argument("element type " + std::to_string(e.type) + " has no VTK cell");
    // The input deck's node order is VTK's for every type but the
    // three-node beam, whose middle node the deck gives second.
    std::vector<int> nodes = e.nodes;
    if (e.type == 12 && nodes.size() == 3) std::swap(nodes[1], nodes[2]);
    for (int id : nodes) {
      auto found = index.find(id);
      if (found == index.end()) throw std::invalid_argument("element node " + std::to_string(id) + " is not a node");
      mesh.connectivity.push_back(found->second);
    }
    mesh.offsets.push_back(static_cast<long long>(mesh.connectivity.size()));
    mesh.types.push_back(static_cast<unsigned char>(type));
  }
  return mesh;
}

std::string VtuText(const FieldMesh& iMesh, const std::vector<int>& iNodeIds, const FieldBasis& iBasis,
                    const double* iRe, const double* iIm, double iFrequency) {
  const std::size_t points = iMesh.points.size();
  const std::size_t cells = iMesh.types.size();
  std::string data;
  std::string arrays;
  auto array = [&](const char* iType, const char* iName, int iComponents, const void* iBytes, std::size_t iSize) {
    arrays += std::string("        <DataArray type=\"") + iType + "\"" +
              (iName ? std::string(" Name=\"") + iName + "\"" : std::string()) +
              " NumberOfComponents=\"" + std::to_string(iComponents) + "\" format=\"appended\" offset=\"" +
              std::to_string(data.size()) + "\"/>\n";
    AppendRaw(data, iBytes, iSize);
  };
  std::string xml = "<?xml version=\"1.0\"?>\n"
                    "<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" byte_order=\"LittleEndian\" "
                    "header_type=\"UInt64\">\n  <UnstructuredGrid>\n"
                    "    <FieldData>\n";
  arrays.clear();
  array("Float64", "frequency_hz", 1, &iFrequency, sizeof iFrequency);
  xml += arrays + "    </FieldData>\n    <Piece NumberOfPoints=\"" + std::to_string(points) +
         "\" NumberOfCells=\"" + std::to_string(cells) + "\">\n      <PointData Vectors=\"U_amplitude\">\n";
  arrays.clear();
  array("Int32", "node_id", 1, iNodeIds.data(), iNodeIds.size() * sizeof(int));
  const std::size_t c = iBasis.components;
  std::vector<double> part(3 * points);
  const char* names[2][3] = {{"U_real", "U_imag", "U_amplitude"}, {"R_real", "R_imag", "R_amplitude"}};
  for (std::size_t group = 0; group < c / 3; ++group) {
    for (int kind = 0; kind < 3; ++kind) {
      for (std::size_t n = 0; n < points; ++n)
        for (std::size_t k = 0; k < 3; ++k) {
          const std::size_t d = n * c + 3 * group + k;
          // The amplitude as the CSV forms it: the modulus of the complex value.
          part[3 * n + k] = kind == 0 ? iRe[d] : kind == 1 ? iIm[d] : std::abs(std::complex<double>(iRe[d], iIm[d]));
        }
      array("Float64", names[group][kind], 3, part.data(), part.size() * sizeof(double));
    }
  }
  xml += arrays + "      </PointData>\n      <Points>\n";
  arrays.clear();
  array("Float64", nullptr, 3, iMesh.points.data(), points * 3 * sizeof(double));
  xml += arrays + "      </Points>\n      <Cells>\n";
  arrays.clear();
  array("Int64", "connectivity", 1, iMesh.connectivity.data(), iMesh.connectivity.size() * sizeof(long long));
  array("Int64", "offsets", 1, iMesh.offsets.data(), iMesh.offsets.size() * sizeof(long long));
  array("UInt8", "types", 1, iMesh.types.data(), iMesh.types.size());
  xml += arrays + "      </Cells>\n    </Piece>\n  </UnstructuredGrid>\n  <AppendedData encoding=\"raw\">\n   _";
  xml.reserve(xml.size() + data.size() + 32);
  xml += data;
  xml += "\n  </AppendedData>\n</VTKFile>\n";
  return xml;
}

std::string PvdText(const std::vector<std::pair<double, std::string>>& iSets) {
  std::string xml = "<?xml version=\"1.0\"?>\n<VTKFile type=\"Collection\" version=\"0.1\" byte_order=\"LittleEndian\">\n"
                    "  <Collection>\n";
  for (const auto& set : iSets)
    xml += "    <DataSet timestep=\"" + XmlNumber(set.first) + "\" group=\"\" part=\"0\" file=\"" +
           XmlEscape(set.second) + "\"/>\n";
  return xml + "  </Collection>\n</VTKFile>\n";
}

std::vector<float> FieldFrequencies(const std::vector<double>& iListed, bool iAtPeaks,
                                    const std::vector<float>& iPeakFrequencies) {
  std::vector<float> out;
  for (double f : iListed) out.push_back(static_cast<float>(f));
  if (iAtPeaks) out.insert(out.end(), iPeakFrequencies.begin(), iPeakFrequencies.end());
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

std::vector<std::string> WriteFields(const Model& iModel, const std::vector<float>& iFrequencies,
                                     const std::string& iDirectory, int iThreads) {
  if (::mkdir(iDirectory.c_str(), 0777) != 0 && errno != EEXIST)
    throw OutputError("--fields " + iDirectory + ": cannot create the directory (" + std::strerror(errno) + ")");
  FieldMesh mesh;
  try {
    mesh = MakeFieldMesh(iModel);
  } catch (const std::invalid_argument& e) {
    throw OutputError("--fields " + iDirectory + ": " + e.what());
  }
  std::vector<int> ids;
  for (const Node& n : iModel.nodes) ids.push_back(n.id);
  const FieldBasis basis = MakeFieldBasis(iModel);
  ModalSolver solver(iModel);
  const std::vector<std::complex<double>> q = solver.Solve(iFrequencies);
  std::vector<std::string> files;
  std::vector<std::pair<double, std::string>> sets;
  constexpr std::size_t kChunk = 8;
  std::vector<double> re, im;
  for (std::size_t f0 = 0; f0 < iFrequencies.size(); f0 += kChunk) {
    const std::size_t count = std::min(kChunk, iFrequencies.size() - f0);
    re.assign(count * basis.stride, 0.0);
    im.assign(count * basis.stride, 0.0);
    ModalFieldSum(basis, q.data() + f0 * basis.modes, count, re.data(), im.data(), iThreads);
    std::vector<float> chunk(iFrequencies.begin() + static_cast<std::ptrdiff_t>(f0),
                             iFrequencies.begin() + static_cast<std::ptrdiff_t>(f0 + count));
    solver.AddAbsolute(chunk, basis.components, basis.stride, re.data(), im.data());
    for (std::size_t k = 0; k < count; ++k) {
      char name[32];
      std::snprintf(name, sizeof name, "fields_%04zu.vtu", f0 + k + 1);
      WriteFileAtomically(iDirectory + "/" + name, VtuText(mesh, ids, basis, re.data() + k * basis.stride,
                                                           im.data() + k * basis.stride, iFrequencies[f0 + k]));
      files.push_back(name);
      sets.emplace_back(iFrequencies[f0 + k], name);
    }
  }
  WriteFileAtomically(iDirectory + "/fields.pvd", PvdText(sets));
  files.push_back("fields.pvd");
  return files;
}

}  // namespace vokdyn
