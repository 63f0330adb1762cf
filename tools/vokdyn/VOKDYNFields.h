#ifndef VOKDYNFields_h
#define VOKDYNFields_h
// Response fields: the absolute displacement of every node at chosen
// frequencies, written as VTK XML files (a .pvd collection whose "time" is
// the frequency, one .vtu unstructured grid per frequency) that ParaView
// opens and animates.
//
// The modal part of every degree of freedom is u = sum_i phi_i q_i, formed
// as the sweep forms it at an output: from (+0, +0), in mode order, each
// product rounded before it is added (no fused multiply-add), real and
// imaginary parts apart. So a field's value at an output's degree of
// freedom is the CSV's, to the last bit, whatever the blocking and the
// number of threads.
#include <array>
#include <complex>
#include <memory>
#include <cstddef>
#include <string>
#include <vector>

#include "VOKDYNModel.h"

namespace vokdyn {

/// The mode shapes as a matrix of modes x degrees of freedom, the degrees
/// of freedom node-major (node * components + component), each mode's row
/// padded with zeros to a multiple of kFieldLanes.
struct FieldBasis {
  std::size_t nodes = 0;
  std::size_t components = 3;  ///< 3 (translations) or 6 (with rotations)
  std::size_t modes = 0;
  std::size_t stride = 0;      ///< padded row length
  std::vector<double> phi;     ///< phi[i * stride + d]
  /// Instead of phi, when the rows need neither a choice of components nor
  /// padding (rotations, 6 x nodes a multiple of kFieldLanes): the model's
  /// shapes read in place, kept alive here.
  std::shared_ptr<const double> table;
  const double* Phi() const { return table ? table.get() : phi.data(); }
  std::size_t Dofs() const { return nodes * components; }
};

/// Degrees of freedom per vector of the kernel.
constexpr std::size_t kFieldLanes = 8;

/// The basis of iModel: the translations, and the rotations when a shape or
/// an enforced field has a non-zero rotation, the base rotates, or an
/// output is a rotation.
FieldBasis MakeFieldBasis(const Model& iModel);

/// The modal sums of every degree of freedom at iFrequencies frequencies:
/// oRe[f * stride + d], oIm[f * stride + d] (each of iFrequencies * stride
/// values) from the modal responses iQ[f * modes + i]. Blocked over degrees
/// of freedom x frequencies, the blocks of degrees of freedom shared among
/// iThreads threads (below 1 counts as 1).
void ModalFieldSum(const FieldBasis& iBasis, const std::complex<double>* iQ, std::size_t iFrequencies,
                   double* oRe, double* oIm, int iThreads);

/// A mesh for the fields: the model's elements when it has them (VTK cell
/// types and node order), a vertex per node otherwise.
struct FieldMesh {
  std::vector<std::array<double, 3>> points;
  std::vector<long long> connectivity;  ///< 0-based point indices
  std::vector<long long> offsets;       ///< end of each cell in connectivity
  std::vector<unsigned char> types;     ///< VTK cell types
};

/// The mesh of iModel's nodes and elements (a vertex per node when it has
/// none). Throws std::invalid_argument for an element type it cannot write
/// or an unknown node.
FieldMesh MakeFieldMesh(const Model& iModel);

/// The VTK cell type of a .frd element type, 0 when none.
int VtkCellType(int iFrdType);

/// The .vtu text of one frequency: the mesh, point data node_id, U_real,
/// U_imag, U_amplitude (and R_ for rotations when the basis has them) from
/// iRe / iIm (the basis's degrees of freedom), in raw appended binary.
std::string VtuText(const FieldMesh& iMesh, const std::vector<int>& iNodeIds, const FieldBasis& iBasis,
                    const double* iRe, const double* iIm, double iFrequency);

/// The .pvd collection: one data set per (frequency, file name).
std::string PvdText(const std::vector<std::pair<double, std::string>>& iSets);

/// The frequencies of a field request, each rounded to single precision
/// like the sweep's: iListed, and with iAtPeaks iPeakFrequencies (the peak
/// frequency of each output); sorted, each once.
std::vector<float> FieldFrequencies(const std::vector<double>& iListed, bool iAtPeaks,
                                    const std::vector<float>& iPeakFrequencies);

/// Computes and writes the fields of iModel at iFrequencies into iDirectory
/// (created when missing; its parent must exist): fields_NNNN.vtu per
/// frequency, then fields.pvd. Frequencies are taken eight at a time; the
/// modal sums run on iThreads threads. Each file is written through a
/// temporary renamed at the end. Returns the file names written, the .pvd
/// last. Throws ModelError, ComputationError or OutputError.
std::vector<std::string> WriteFields(const Model& iModel, const std::vector<float>& iFrequencies,
                                     const std::string& iDirectory, int iThreads);

}  // namespace vokdyn

#endif
