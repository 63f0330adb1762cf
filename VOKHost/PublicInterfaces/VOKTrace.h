#ifndef VOKTrace_h
#define VOKTrace_h
// The platform trace facility. A channel (VOKTrace) has a name, a state flag
// and a current level; a writer sets the level, then writes a line. A line
// reaches the channel's output only while the channel's flag is on. Flags are
// off at construction unless the environment variable VOK_TRACE names the
// channel (comma-separated names, or "all").
#include "VOKHostExport.h"

enum VOKTraMode { VOKTraModeDefault = 0 };

class VOKHOST_API VOKTrace {
 public:
  /// iOutput "STDOUT" or "STDERR" selects the stream; any other text is a file name.
  VOKTrace(const char* iName, char* iDescription, VOKTraMode iMode, const char* iOutput, int iSize);
  ~VOKTrace();
  VOKTrace(const VOKTrace&) = delete;
  VOKTrace& operator=(const VOKTrace&) = delete;

  /// The level of the next line.
  void SetLevel(int iLevel) { _Level = iLevel; }
  int GetLevel() const { return _Level; }
  void TraPutLN(const char* iText);
  /// Writes the text followed by the integer.
  void TraPutLN(const char* iText, int iValue);

  const char* GetName() const { return _Name; }
  const char* GetDescription() const { return _Description; }
  const char* GetOutput() const { return _Output; }
  VOKTraMode GetMode() const { return _Mode; }
  int GetSize() const { return _Size; }

 private:
  char _Name[64];
  char _Description[128];
  char _Output[256];
  VOKTraMode _Mode;
  int _Size;
  int _Level;
};

/// Control of one live channel's state flag, looked up by name.
class VOKHOST_API VOKTraControle {
 public:
  /// A control for the live channel named iName, or null when there is none.
  /// The caller deletes it.
  static VOKTraControle* Create(const char* iName);
  ~VOKTraControle();
  int TraGetFlg() const;
  void TraPutFlg(int iState);

 private:
  explicit VOKTraControle(const char* iName);
  char _Name[64];
};

#endif
