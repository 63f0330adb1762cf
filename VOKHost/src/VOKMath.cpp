// The axis system.
#include "VOKMath.h"

namespace {
void Copy3(double* oTo, const double* iFrom) {
  for (int i = 0; i < 3; ++i) oTo[i] = iFrom[i];
}
}  // namespace

VOKMathAxis::VOKMathAxis()
    : _Origin{0.0, 0.0, 0.0}, _X{1.0, 0.0, 0.0}, _Y{0.0, 1.0, 0.0}, _Z{0.0, 0.0, 1.0} {}

VOKMathAxis::VOKMathAxis(const double iOrigin[3], const double iX[3], const double iY[3],
                         const double iZ[3]) {
  SetOrigin(iOrigin);
  SetDirections(iX, iY, iZ);
}
void VOKMathAxis::GetOrigin(double oOrigin[3]) const { Copy3(oOrigin, _Origin); }
void VOKMathAxis::GetDirections(double oX[3], double oY[3], double oZ[3]) const {
  Copy3(oX, _X);
  Copy3(oY, _Y);
  Copy3(oZ, _Z);
}
void VOKMathAxis::SetOrigin(const double iOrigin[3]) { Copy3(_Origin, iOrigin); }
void VOKMathAxis::SetDirections(const double iX[3], const double iY[3], const double iZ[3]) {
  Copy3(_X, iX);
  Copy3(_Y, iY);
  Copy3(_Z, iZ);
}
const double* VOKMathAxis::Direction(int k) const { return k == 1 ? _X : (k == 2 ? _Y : _Z); }
