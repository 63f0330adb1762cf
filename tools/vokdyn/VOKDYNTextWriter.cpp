#include "VOKDYNTextWriter.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace vokdyn {

namespace {

__extension__ typedef unsigned __int128 U128;

// ------------------------------------------------------ powers of ten
//
// 10^q is held as c 2^b with c in [2^127, 2^128) the truncation of
// 10^q 2^-b: too small by less than one unit of c, and exact while 5^q fits
// in c (0 <= q <= 55). A double v = m 2^e (m < 2^53) times 10^q is then the
// 181-bit product m c shifted, at most m < 2^53 units of that product below
// the truth: within 2^-69 of it at 17 digits, close enough to decide the
// rounding of all but one value in about 2^68 (the rest take the exact but
// slower std::to_chars).

struct Power {
  U128 c;
  int b;
  bool exact;
};

// The q WriteGeneral asks for: 16 - floor(log10(v)) over the normal doubles.
constexpr int kMinQ = -292, kMaxQ = 324;

// A natural number in 64-bit words, least significant first.
using Big = std::vector<std::uint64_t>;

int BitLength(const Big& iX) {
  for (std::size_t i = iX.size(); i-- > 0;)
    if (iX[i] != 0) return static_cast<int>(64 * i) + 64 - __builtin_clzll(iX[i]);
  return 0;
}

// Bits [iAt, iAt + 64) of iX (bits below 0 are zero).
std::uint64_t Word(const Big& iX, int iAt) {
  auto word = [&iX](int i) -> std::uint64_t {
    return i >= 0 && static_cast<std::size_t>(i) < iX.size() ? iX[static_cast<std::size_t>(i)] : 0;
  };
  const int i = iAt >= 0 ? iAt / 64 : -((-iAt + 63) / 64);
  const int r = iAt - 64 * i;
  return r == 0 ? word(i) : (word(i) >> r) | (word(i + 1) << (64 - r));
}

// iX 2^iScale as a Power: its top 128 bits.
Power Top(const Big& iX, int iScale) {
  const int length = BitLength(iX), cut = length - 128;
  Power p;
  p.c = (static_cast<U128>(Word(iX, cut + 64)) << 64) | Word(iX, cut);
  p.b = cut + iScale;
  p.exact = true;
  for (int at = 0; at < cut; at += 64)
    if (Word(iX, at) << std::max(0, 64 - (cut - at)) != 0) p.exact = false;
  return p;
}

class PowerTable {
 public:
  PowerTable() {
    Big x = {1};
    for (int q = 0; q <= kMaxQ; ++q) {
      At(q) = Top(x, 0);
      std::uint64_t carry = 0;
      for (std::uint64_t& w : x) {
        const U128 product = static_cast<U128>(w) * 10 + carry;
        w = static_cast<std::uint64_t>(product);
        carry = static_cast<std::uint64_t>(product >> 64);
      }
      if (carry) x.push_back(carry);
    }
    // 2^K / 10^n by n divisions by ten (floor of floor is floor), K large
    // enough that 128 bits remain at the last n.
    constexpr int kK = 1216;
    static_assert(kK - 3.33 * -kMinQ > 128.0, "128 bits of 10^q remain at the smallest q");
    Big y(kK / 64 + 1, 0);
    y.back() = 1;
    for (int n = 1; n <= -kMinQ; ++n) {
      std::uint64_t remainder = 0;
      for (std::size_t i = y.size(); i-- > 0;) {
        const U128 current = (static_cast<U128>(remainder) << 64) | y[i];
        y[i] = static_cast<std::uint64_t>(current / 10);
        remainder = static_cast<std::uint64_t>(current % 10);
      }
      At(-n) = Top(y, -kK);
      At(-n).exact = false;
    }
  }
  const Power& operator[](int iQ) const { return _Entries[static_cast<std::size_t>(iQ - kMinQ)]; }

 private:
  Power& At(int iQ) { return _Entries[static_cast<std::size_t>(iQ - kMinQ)]; }
  Power _Entries[kMaxQ - kMinQ + 1];
};

const PowerTable& Powers() {
  static const PowerTable table;
  return table;
}

constexpr std::uint64_t kPow10[] = {1ull,
                                    10ull,
                                    100ull,
                                    1000ull,
                                    10000ull,
                                    100000ull,
                                    1000000ull,
                                    10000000ull,
                                    100000000ull,
                                    1000000000ull,
                                    10000000000ull,
                                    100000000000ull,
                                    1000000000000ull,
                                    10000000000000ull,
                                    100000000000000ull,
                                    1000000000000000ull,
                                    10000000000000000ull,
                                    100000000000000000ull,
                                    1000000000000000000ull};

// "00" to "99".
struct DigitPairs {
  char text[200];
  constexpr DigitPairs() : text() {
    for (int i = 0; i < 100; ++i) {
      text[2 * i] = static_cast<char>('0' + i / 10);
      text[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
  }
};
constexpr DigitPairs kPairs;

inline void Write4(char* oAt, std::uint32_t iValue) {
  std::memcpy(oAt, kPairs.text + 2 * (iValue / 100), 2);
  std::memcpy(oAt + 2, kPairs.text + 2 * (iValue % 100), 2);
}

inline void Write8(char* oAt, std::uint32_t iValue) {
  Write4(oAt, iValue / 10000);
  Write4(oAt + 4, iValue % 10000);
}

// iValue < 10^17 as 17 digits, zeros in front.
inline void Write17(char* oAt, std::uint64_t iValue) {
  const std::uint64_t high = iValue / 100000000;
  const std::uint32_t low = static_cast<std::uint32_t>(iValue % 100000000);
  *oAt = static_cast<char>('0' + high / 100000000);
  Write8(oAt + 1, static_cast<std::uint32_t>(high % 100000000));
  Write8(oAt + 9, low);
}

// n / 10^J by a constant divisor (a multiplication), one function per J.
template <int J>
std::uint64_t Quotient(std::uint64_t iN) {
  return iN / kPow10[J];
}
using QuotientOf = std::uint64_t (*)(std::uint64_t);
template <std::size_t... J>
constexpr std::array<QuotientOf, sizeof...(J)> Quotients(std::index_sequence<J...>) {
  return {Quotient<static_cast<int>(J)>...};
}
constexpr auto kQuotients = Quotients(std::make_index_sequence<18>());

// Sixteen characters at once: the callers' room (kGeneralMax) and the
// digit buffer below are wide enough for the copy to overrun what counts.
inline void Copy16(char* oAt, const char* iFrom) { std::memcpy(oAt, iFrom, 16); }

char* Exact(char* iAt, double iValue, int iPrecision) {
  return std::to_chars(iAt, iAt + kGeneralMax, iValue, std::chars_format::general, iPrecision).ptr;
}

}  // namespace

char* WriteGeneral(char* iAt, double iValue, int iPrecision) {
  assert(iPrecision >= 1 && iPrecision <= 17);
  std::uint64_t bits;
  std::memcpy(&bits, &iValue, sizeof bits);
  const int exponent = static_cast<int>((bits >> 52) & 0x7FF);
  const std::uint64_t fraction = bits & ((std::uint64_t(1) << 52) - 1);
  char* p = iAt;
  *p = '-';
  p += bits >> 63;
  if (exponent == 0 && fraction == 0) {
    *p++ = '0';
    return p;
  }
  if (exponent == 0 || exponent == 0x7FF) return Exact(iAt, iValue, iPrecision);

  // v = m 2^(e2 - 52) with 2^e2 <= v < 2^(e2 + 1), and 10^k <= 2^e2 with
  // k = floor(e2 log10(2)) (the integer form holds for |e2| < 1650): v 10^(16 - k)
  // is in [10^16, 2 10^17), its whole part n the first 17 or 18 digits.
  const std::uint64_t m = fraction | (std::uint64_t(1) << 52);
  const int e2 = exponent - 1023;
  const int k = (e2 * 78913) >> 18;
  const Power& t = Powers()[16 - k];
  const U128 low = static_cast<U128>(m) * static_cast<std::uint64_t>(t.c);
  const U128 high = static_cast<U128>(m) * static_cast<std::uint64_t>(t.c >> 64);
  const U128 middle = (low >> 64) + static_cast<std::uint64_t>(high);
  const std::uint64_t p0 = static_cast<std::uint64_t>(low), p1 = static_cast<std::uint64_t>(middle);
  const std::uint64_t p2 = static_cast<std::uint64_t>(high >> 64) + static_cast<std::uint64_t>(middle >> 64);
  // The product's bits below s are the fraction: m c in [2^179, 2^181) and
  // n in [2^53, 2^58) put s in [122, 127].
  const int s = 52 - e2 - t.b;
  assert(s >= 122 && s <= 127);
  const int shift = s - 64;
  std::uint64_t n = (p2 << (64 - shift)) | (p1 >> shift);
  const U128 f = (static_cast<U128>(p1 & ((std::uint64_t(1) << shift) - 1)) << 64) | p0;
  const U128 one = static_cast<U128>(1) << s, half = one >> 1;
  // The truth is f to f + error: where that may pass one, n may be one short.
  const U128 error = t.exact ? 0 : static_cast<U128>(1) << 53;
  if (f > one - error) return Exact(iAt, iValue, iPrecision);

  int decimalExponent = k;
  int digits = 17;
  if (n >= kPow10[17]) {
    digits = 18;
    ++decimalExponent;
  }
  // Round n + f to iPrecision digits: a the digits kept, r the rest of n.
  const std::uint64_t unit = kPow10[digits - iPrecision];
  bool up;
  std::uint64_t a = n;
  if (unit == 1) {
    if (f > half) up = true;
    else if (f + std::max<U128>(error, 1) <= half) up = false;
    else return Exact(iAt, iValue, iPrecision);  // a tie, or too close to one to call
  } else {
    a = kQuotients[static_cast<std::size_t>(digits - iPrecision)](n);
    const std::uint64_t r = n - a * unit, h = unit / 2;
    if (r != h) up = r > h;
    else if (error == 0 && f == 0) return Exact(iAt, iValue, iPrecision);  // a tie
    else up = true;  // past the half: the fraction is not zero
  }
  if (up && ++a == kPow10[iPrecision]) {
    a = kPow10[iPrecision - 1];
    ++decimalExponent;
  }

  // The digits, then room for the fixed-size copies to read past them.
  char buffer[48] = {};
  Write17(buffer, a);
  const char* d = buffer + 17 - iPrecision;
  int length = iPrecision;
  while (length > 1 && d[length - 1] == '0') --length;
  const int x = decimalExponent;
  if (x < -4 || x >= iPrecision) {
    *p++ = d[0];
    if (length > 1) {
      *p = '.';
      Copy16(p + 1, d + 1);
      p += length;
    }
    *p++ = 'e';
    *p++ = x < 0 ? '-' : '+';
    int magnitude = x < 0 ? -x : x;
    if (magnitude >= 100) {
      *p++ = static_cast<char>('0' + magnitude / 100);
      magnitude %= 100;
    }
    std::memcpy(p, kPairs.text + 2 * magnitude, 2);
    return p + 2;
  }
  if (x >= 0) {
    Copy16(p, d);
    p[16] = d[16];
    p += x + 1;
    if (length > x + 1) {
      *p = '.';
      Copy16(p + 1, d + x + 1);
      p += length - x;
    }
    return p;
  }
  std::memcpy(p, "0.000", 5);
  p += 1 - x;
  Copy16(p, d);
  p[16] = d[16];
  return p + length;
}

char* WriteShortest(char* iAt, double iValue) {
  char* end = iAt + kGeneralMax;
  // Negative zero keeps its sign only in the form of a real number.
  if (iValue == 0.0) {
    const std::string_view zero = std::signbit(iValue) ? "-0.0" : "0";
    std::memcpy(iAt, zero.data(), zero.size());
    return iAt + zero.size();
  }
  // Whole numbers in plain digits (100000 rather than 1e+05).
  if (std::fabs(iValue) < 1e15 && iValue == std::trunc(iValue))
    return std::to_chars(iAt, end, iValue, std::chars_format::fixed).ptr;
  return std::to_chars(iAt, end, iValue).ptr;
}

TextWriter::TextWriter(Sink iSink, std::size_t iChunk) : _Sink(std::move(iSink)), _Chunk(iChunk) {
  // With a sink, a chunk and the largest single append fit without moving.
  if (_Sink) _Buffer.resize(_Chunk + 4096);
}

TextWriter& TextWriter::operator<<(long long iValue) {
  char* at = Reserve(24);
  Commit(std::to_chars(at, at + 24, iValue).ptr);
  return *this;
}

void TextWriter::Flush() {
  if (!_Sink || _Size == 0) return;
  // Emptied first: a sink that throws leaves nothing to hand on twice.
  const std::size_t size = _Size;
  _Size = 0;
  _Sink(_Buffer.data(), size);
}

void TextWriter::Grow(std::size_t iSize) {
  _Buffer.resize(std::max(2 * _Buffer.size(), _Size + iSize + 64));
}

}  // namespace vokdyn
