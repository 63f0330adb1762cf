#ifndef VOKMath_h
#define VOKMath_h
// Mathematics classes of the host.
#include "VOKHostExport.h"

/// A complex number: a real part, then an imaginary part (both double).
/// Arrays of it are laid out as pairs of doubles.
class VOKMathComplex {
 public:
  VOKMathComplex() : re(0.0), im(0.0) {}
  VOKMathComplex(double iRe, double iIm) : re(iRe), im(iIm) {}
  double GetReal() const { return re; }
  double GetImaginary() const { return im; }
  void SetReal(double iRe) { re = iRe; }
  void SetImaginary(double iIm) { im = iIm; }
  double re;
  double im;
};
static_assert(sizeof(VOKMathComplex) == 2 * sizeof(double), "complex arrays are pairs of doubles");

/// An axis system: an origin and three directions (by default the global
/// origin and axes). The directions are kept as given; the components that
/// consume an axis decide how they normalise it.
class VOKHOST_API VOKMathAxis {
 public:
  VOKMathAxis();
  VOKMathAxis(const double iOrigin[3], const double iX[3], const double iY[3], const double iZ[3]);
  void GetOrigin(double oOrigin[3]) const;
  void GetDirections(double oX[3], double oY[3], double oZ[3]) const;
  void SetOrigin(const double iOrigin[3]);
  void SetDirections(const double iX[3], const double iY[3], const double iZ[3]);
  /// Direction k (1 = x, 2 = y, 3 = z).
  const double* Direction(int k) const;
  const double* Origin() const { return _Origin; }

 private:
  double _Origin[3];
  double _X[3];
  double _Y[3];
  double _Z[3];
};

#endif
