#include "VOKDYNTextWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

namespace vokdyn {

char* WriteGeneral(char* iAt, double iValue, int iPrecision) {
  return std::to_chars(iAt, iAt + kGeneralMax, iValue, std::chars_format::general, iPrecision).ptr;
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
