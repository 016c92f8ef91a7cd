// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A CAN database in the DBC format: messages, their signals and what the
// values mean. The reader takes what real files use (VERSION, NS_, BS_,
// BU_, BO_ with standard and extended identifiers, SG_ in either byte order,
// signed or unsigned, with simple multiplexing, CM_, BA_DEF_/BA_ with the
// message cycle time, VAL_TABLE_, VAL_, SIG_VALTYPE_), skips and counts what
// it does not understand, and reports a malformed line by its number. No
// input makes it crash or loop.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

enum class TByteOrder { Intel, Motorola };
enum class TValueType { Unsigned, Signed, Float, Double };
enum class TMultiplex { None, Multiplexer, Multiplexed };

struct TSignal {
  std::string Name;
  int StartBit = 0; // Intel: the least significant bit; Motorola: the most significant, in the DBC's numbering
  int Length = 0;
  TByteOrder Order = TByteOrder::Intel;
  TValueType Type = TValueType::Unsigned;
  double Factor = 1, Offset = 0, Minimum = 0, Maximum = 0;
  std::string Unit;
  std::vector<std::string> Receivers;
  TMultiplex Multiplex = TMultiplex::None;
  int64_t MultiplexValue = 0; // for a multiplexed signal
  std::map<int64_t, std::string> Values; // value descriptions
  std::string Comment;
};

struct TDbcMessage {
  uint32_t Id = 0;
  bool Extended = false;
  std::string Name;
  int Length = 0;
  std::string Sender;
  std::vector<TSignal> Signals;
  int CycleTimeMs = 0; // GenMsgCycleTime; 0 when not given
  std::string Comment;
  const TSignal *Multiplexer() const;
};

struct TDbcError {
  int Line;
  std::string Text;
};

class TDatabase {
public:
  // Reads the text of a DBC file. Never fails: what it could not read is in
  // Errors (by line), what it skipped in Skipped.
  static TDatabase Parse(std::string_view text);

  const TDbcMessage *Find(uint32_t id, bool extended) const;

  std::vector<TDbcMessage> Messages;
  std::vector<std::string> Nodes;
  std::vector<TDbcError> Errors;
  int Skipped = 0; // statements of kinds not read

private:
  std::map<uint64_t, size_t> FIndex;
  void Index();
};

// ---- decoding and encoding ------------------------------------------------------

// The signal's raw bits from a frame's data of the given length; false when
// the signal reaches past it.
bool RawBits(const TSignal &s, const uint8_t *data, int length, uint64_t &raw);
// The raw bits as the signal's number (sign-extended, or a float's value).
double RawNumber(const TSignal &s, uint64_t raw);
// The physical value: number * factor + offset.
double Physical(const TSignal &s, uint64_t raw);
// Whether the signal is in this frame: not multiplexed, or selected by the
// multiplexer's value.
bool SignalPresent(const TDbcMessage &m, const TSignal &s, const uint8_t *data, int length);
// The raw bits nearest to a physical value, clamped to what the signal can
// hold (and to its minimum and maximum when the database gives a range).
uint64_t RawFromPhysical(const TSignal &s, double physical);
// The value description of the raw value, or null when it has none.
const std::string *ValueText(const TSignal &s, uint64_t raw);
// Writes raw bits into the data (8 bytes), leaving the other bits as they are.
void PutRawBits(const TSignal &s, uint64_t raw, uint8_t *data);

// The signals of a frame the database describes, one line each: the
// identifier in hexadecimal (as candump writes it), the message name, the
// signal name, the physical value as "%.10g" prints it and the unit when
// there is one, separated by single spaces. Multiplexed signals only when
// their multiplexer selects them; nothing for a frame the database does not
// describe.
std::vector<std::string> DecodedLines(const TDatabase &db, uint32_t id, bool extended, const uint8_t *data, int length);
