#ifndef VOKTestModels_h
#define VOKTestModels_h
// Stand-in models that several test files build alike, so that the values
// their expectations are derived from are written once.
#include <vector>

#include "VOKHostDynamics.h"

namespace vok_test_models {

/// Two nodes and two modes, N = 12 physical degrees of freedom, node 10's
/// six first: node 10 at the origin with lumped masses (1, 1, 1, 0.1, 0.1,
/// 0.1), node 20 at (1, 2, 0) with (2, 2, 2, 0.2, 0.2, 0.2); modal masses
/// (1, 1) and stiffnesses (400, 900); shape 1 is 0.5 and shape 2 is -0.25 at
/// every degree of freedom. The caller builds the base from it
/// (VOKHost::ModalBase::Create) and owns what it builds.
inline VOKHost::ModalBaseDefinition TwoNodeBase() {
  VOKHost::ModalBaseDefinition def;
  def.modalMasses = {1.0, 1.0};
  def.modalStiffnesses = {400.0, 900.0};
  VOKHost::ModalNode a, b;
  a.id = 10;
  a.position = {0.0, 0.0, 0.0};
  a.mass = {1.0, 1.0, 1.0, 0.1, 0.1, 0.1};
  b.id = 20;
  b.position = {1.0, 2.0, 0.0};
  b.mass = {2.0, 2.0, 2.0, 0.2, 0.2, 0.2};
  def.nodes = {a, b};
  def.shapes = {std::vector<double>(12, 0.5), std::vector<double>(12, -0.25)};
  return def;
}

/// The load excitation "l" of one entry: iLoad under the constant modulation
/// "one" (value 1), amplitude 1, phase 0, so that its one second member is
/// the load's vector itself at every abscissa. Created with one reference,
/// which the caller releases; the excitation holds its own references to
/// iLoad and to the modulation (which nothing else holds).
inline VOKHost::LoadExcitation* OneLoadExcitation(VOKBaseUnknown* iLoad) {
  VOKHost::LoadExcitation* excitation = VOKHost::LoadExcitation::Create("l");
  VOKHost::Modulation* one = VOKHost::Modulation::Constant("one", 1.0);
  excitation->AddEntry(iLoad, one, 1.0f, 0.0f);
  one->Release();
  return excitation;
}

}  // namespace vok_test_models

#endif
