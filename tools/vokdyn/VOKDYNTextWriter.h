#ifndef VOKDYNTextWriter_h
#define VOKDYNTextWriter_h
// Text output of every kind vokdyn writes (CSV, summaries, model files, the
// numbers of the field files): numbers formatted without a format string,
// the text built in one buffer and handed on in large pieces, so that an
// output of any size goes through a fixed amount of memory.
#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace vokdyn {

/// Where text is handed, a piece at a time.
using TextSink = std::function<void(const char*, std::size_t)>;
/// A text written to the sink it is given, a piece at a time (an output too
/// large to hold whole).
using TextSource = std::function<void(const TextSink&)>;

/// The room WriteGeneral and WriteShortest need at the place they write:
/// more than their longest text ("-1.2345678901234567e-308", 24
/// characters), as digits are copied in blocks of fixed size.
constexpr std::size_t kGeneralMax = 48;

/// Writes iValue as printf's "%.{iPrecision}g" does (the same characters,
/// "-0", "inf" and "nan" included) at iAt, which must have room for
/// kGeneralMax characters; returns the end of the text. Precisions 1 to 17
/// take a fast path with exact arithmetic; the rare value it cannot round
/// with certainty (within 2^-69 of a rounding tie, or an exact tie), a
/// subnormal, inf and nan go to std::to_chars, which writes the same.
char* WriteGeneral(char* iAt, double iValue, int iPrecision);

/// The shortest text that reads back to iValue, with whole numbers below
/// 1e15 in plain digits ("100000", not "1e+05") and negative zero as
/// "-0.0", so that it reads back as a real number. At most kGeneralMax
/// characters at iAt; returns the end.
char* WriteShortest(char* iAt, double iValue);

/// Text appended to a buffer. With a sink, the buffer is handed to it by
/// Spill once it holds iChunk bytes or more and by Flush at the end; without
/// one, everything stays in Text(). Nothing is handed on by the destructor
/// (an output abandoned half way is the caller's to discard).
class TextWriter {
 public:
  using Sink = TextSink;
  static constexpr std::size_t kChunk = std::size_t(1) << 20;

  explicit TextWriter(Sink iSink = Sink(), std::size_t iChunk = kChunk);
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;

  TextWriter& operator<<(std::string_view iText) {
    std::memcpy(Reserve(iText.size()), iText.data(), iText.size());
    _Size += iText.size();
    return *this;
  }
  TextWriter& operator<<(const char* iText) { return *this << std::string_view(iText); }
  TextWriter& operator<<(const std::string& iText) { return *this << std::string_view(iText); }
  TextWriter& operator<<(char iChar) {
    *Reserve(1) = iChar;
    ++_Size;
    return *this;
  }
  TextWriter& operator<<(long long iValue);
  TextWriter& operator<<(int iValue) { return *this << static_cast<long long>(iValue); }
  /// "%.{iPrecision}g" (WriteGeneral).
  TextWriter& General(double iValue, int iPrecision) {
    Commit(WriteGeneral(Reserve(kGeneralMax), iValue, iPrecision));
    return *this;
  }
  /// WriteShortest.
  TextWriter& Shortest(double iValue) {
    Commit(WriteShortest(Reserve(kGeneralMax), iValue));
    return *this;
  }

  /// Room for iSize characters after the text: write them there, then
  /// Commit the end of what was written (at most iSize characters on).
  char* Reserve(std::size_t iSize) {
    if (_Buffer.size() - _Size < iSize) Grow(iSize);
    return &_Buffer[_Size];
  }
  void Commit(char* iEnd) { _Size = static_cast<std::size_t>(iEnd - _Buffer.data()); }

  /// With a sink, hands it the text once a chunk or more is buffered; true
  /// when it did.
  bool Spill() {
    if (!_Sink || _Size < _Chunk) return false;
    Flush();
    return true;
  }
  /// With a sink, hands it whatever is buffered (nothing when empty).
  void Flush();
  /// The text buffered (without a sink: all of it). The writer stays usable.
  std::string& Text() {
    _Buffer.resize(_Size);
    return _Buffer;
  }

 private:
  void Grow(std::size_t iSize);

  Sink _Sink;
  std::size_t _Chunk;
  std::string _Buffer;  ///< its first _Size characters are the text
  std::size_t _Size = 0;
};

}  // namespace vokdyn

#endif
