// SPDX-License-Identifier: GPL-3.0-or-later
// The CAN database reader, decoding and encoding. The expected values are
// worked out by hand from the bit layouts, not by the code's arithmetic.

#include "can/Dbc.h"

#include <gtest/gtest.h>

#include <clocale>
#include <fstream>
#include <random>
#include <sstream>

namespace {

TSignal Sig(int start, int length, TByteOrder order, TValueType type = TValueType::Unsigned, double factor = 1,
            double offset = 0) {
  TSignal s;
  s.StartBit = start;
  s.Length = length;
  s.Order = order;
  s.Type = type;
  s.Factor = factor;
  s.Offset = offset;
  return s;
}

uint64_t Raw(const TSignal &s, std::vector<uint8_t> data) {
  data.resize(8);
  uint64_t raw = 0;
  EXPECT_TRUE(RawBits(s, data.data(), 8, raw));
  return raw;
}

TEST(DbcDecode, IntelSignalsAtAndBetweenByteBoundaries) {
  // 16 bits from bit 0: byte 0 is the low byte.
  EXPECT_EQ(Raw(Sig(0, 16, TByteOrder::Intel), {0x34, 0x12}), 0x1234u);
  // 8 bits from bit 4: the high nibble of byte 0 is the low nibble.
  EXPECT_EQ(Raw(Sig(4, 8, TByteOrder::Intel), {0xA0, 0x0B}), 0xBAu);
  // 1 bit, the last of the frame.
  EXPECT_EQ(Raw(Sig(63, 1, TByteOrder::Intel), {0, 0, 0, 0, 0, 0, 0, 0x80}), 1u);
  // 64 bits.
  EXPECT_EQ(Raw(Sig(0, 64, TByteOrder::Intel), {1, 2, 3, 4, 5, 6, 7, 8}), 0x0807060504030201u);
  // 12 bits signed: 0xFFF is -1; factor and offset make -1 * 0.5 + 10.
  const TSignal s = Sig(0, 12, TByteOrder::Intel, TValueType::Signed, 0.5, 10);
  EXPECT_EQ(Physical(s, Raw(s, {0xFF, 0x0F})), 9.5);
  EXPECT_EQ(Physical(s, Raw(s, {0xFF, 0x07})), 2047 * 0.5 + 10);
  EXPECT_EQ(Physical(s, Raw(s, {0x00, 0x08})), -2048 * 0.5 + 10);
}

// Motorola: the start bit is the most significant bit; the next bits are the
// lower ones of the same byte, then bit 7 of the next byte (the DBC's
// sawtooth numbering: 7..0, 15..8, 23..16, ...).
TEST(DbcDecode, MotorolaSignalsInTheSawtoothNumbering) {
  EXPECT_EQ(Raw(Sig(7, 16, TByteOrder::Motorola), {0x12, 0x34}), 0x1234u);
  // Start 3, 10 bits: byte 0 bits 3..0 (1011), byte 1 bits 7..2 (110101).
  EXPECT_EQ(Raw(Sig(3, 10, TByteOrder::Motorola), {0x0B, 0xD4}), 0b1011110101u);
  // Start 12, 12 bits: byte 1 bits 4..0 (10101), byte 2 bits 7..1 (1110011).
  EXPECT_EQ(Raw(Sig(12, 12, TByteOrder::Motorola), {0x00, 0x15, 0xE6}), 0b101011110011u);
  // A single bit, and all 64.
  EXPECT_EQ(Raw(Sig(0, 1, TByteOrder::Motorola), {0x01}), 1u);
  EXPECT_EQ(Raw(Sig(7, 64, TByteOrder::Motorola), {1, 2, 3, 4, 5, 6, 7, 8}), 0x0102030405060708u);
  // Signed 4 bits from bit 5: bits 5..2 of 0x38 are 1110, -2.
  const TSignal s = Sig(5, 4, TByteOrder::Motorola, TValueType::Signed);
  EXPECT_EQ(Physical(s, Raw(s, {0x38})), -2);
  // A signal reaching past the frame's length is not in it.
  uint64_t raw;
  const uint8_t two[8] = {0x12, 0x34};
  EXPECT_FALSE(RawBits(Sig(15, 16, TByteOrder::Motorola), two, 2, raw));
  EXPECT_FALSE(RawBits(Sig(60, 8, TByteOrder::Intel), two, 8, raw));
}

TEST(DbcDecode, FloatAndDoubleSignals) {
  const TSignal f = Sig(0, 32, TByteOrder::Intel, TValueType::Float);
  EXPECT_EQ(Physical(f, Raw(f, {0x00, 0x00, 0xC0, 0x3F})), 1.5); // 0x3FC00000
  const TSignal d = Sig(0, 64, TByteOrder::Intel, TValueType::Double, 2);
  EXPECT_EQ(Physical(d, Raw(d, {0, 0, 0, 0, 0, 0, 0x04, 0x40})), 5.0); // 2.5 * 2
}

TEST(DbcEncode, NearestRawValueClampedToTheSignal) {
  uint8_t data[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  // Motorola start 3, 10 bits: the other bits stay as they were.
  const TSignal m = Sig(3, 10, TByteOrder::Motorola);
  PutRawBits(m, 0b1011110101, data);
  EXPECT_EQ(data[0], 0xFB); // 1111 1011
  EXPECT_EQ(data[1], 0xD7); // 1101 01 11
  TSignal s = Sig(0, 8, TByteOrder::Intel, TValueType::Unsigned, 0.5, -10);
  EXPECT_EQ(RawFromPhysical(s, 0.26), 21u); // (0.26 + 10) / 0.5 = 20.52
  EXPECT_EQ(RawFromPhysical(s, 1000), 255u);
  EXPECT_EQ(RawFromPhysical(s, -1000), 0u);
  s.Minimum = -5;
  s.Maximum = 50;
  EXPECT_EQ(RawFromPhysical(s, 1000), 120u); // (50 + 10) / 0.5
  const TSignal signed4 = Sig(0, 4, TByteOrder::Intel, TValueType::Signed);
  EXPECT_EQ(RawFromPhysical(signed4, -3), 0xDu);
  EXPECT_EQ(RawFromPhysical(signed4, -100), 0x8u);
  EXPECT_EQ(RawFromPhysical(signed4, 100), 0x7u);
}

const char *const Example = R"(VERSION "1.0"

NS_ :
	CM_
	BA_DEF_

BS_:
BU_: Engine Tester
VAL_TABLE_ OnOff 0 "Off" 1 "On" ;

BO_ 100 Engine: 8 Engine
 SG_ Speed : 0|16@1+ (0.25,0) [0|16383.75] "rpm" Tester
 SG_ Temp : 23|8@0- (1,-40) [-40|87] "degC" Tester,Engine
 SG_ Fan : 24|1@1+ (1,0) [0|1] "" Tester

// a comment line
BO_ 2147484320 Multi: 8 Tester
 SG_ Page M : 0|8@1+ (1,0) [0|255] "" Engine
 SG_ A m0 : 8|16@1+ (1,0) [0|0] "" Engine
 SG_ B m1 : 8|16@1- (1,0) [0|0] "" Engine
 SG_ Level : 32|32@1- (1,0) [0|0] "V" Engine

SIG_GROUP_ 100 G 1 : Speed Temp;
CM_ BO_ 100 "Engine data,
two lines";
CM_ SG_ 100 Speed "Crank speed";
BA_DEF_ BO_ "GenMsgCycleTime" INT 0 65535;
BA_ "GenMsgCycleTime" BO_ 100 20;
BA_ "Other" BO_ 100 3;
VAL_ 100 Fan OnOff ;
VAL_ 2147484320 Page 0 "first" 1 "second" ;
SIG_VALTYPE_ 2147484320 Level : 1;
)";

TEST(DbcRead, EveryConstructOfAnOrdinaryFile) {
  const TDatabase db = TDatabase::Parse(Example);
  ASSERT_TRUE(db.Errors.empty()) << db.Errors[0].Line << ": " << db.Errors[0].Text;
  EXPECT_EQ(db.Nodes, (std::vector<std::string>{"Engine", "Tester"}));
  ASSERT_EQ(db.Messages.size(), 2u);
  const TDbcMessage *e = db.Find(100, false);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Name, "Engine");
  EXPECT_EQ(e->Length, 8);
  EXPECT_EQ(e->Sender, "Engine");
  EXPECT_EQ(e->CycleTimeMs, 20);
  EXPECT_EQ(e->Comment, "Engine data,\ntwo lines");
  ASSERT_EQ(e->Signals.size(), 3u);
  const TSignal &temp = e->Signals[1];
  EXPECT_EQ(temp.Order, TByteOrder::Motorola);
  EXPECT_EQ(temp.Type, TValueType::Signed);
  EXPECT_EQ(temp.Offset, -40);
  EXPECT_EQ(temp.Unit, "degC");
  EXPECT_EQ(temp.Receivers, (std::vector<std::string>{"Tester", "Engine"}));
  EXPECT_EQ(e->Signals[0].Comment, "Crank speed");
  EXPECT_EQ(e->Signals[2].Values.at(1), "On");
  const TDbcMessage *m = db.Find(0x2A0, true);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(db.Find(0x2A0, false), nullptr);
  EXPECT_EQ(m->Signals[0].Multiplex, TMultiplex::Multiplexer);
  EXPECT_EQ(m->Signals[2].Multiplex, TMultiplex::Multiplexed);
  EXPECT_EQ(m->Signals[2].MultiplexValue, 1);
  EXPECT_EQ(m->Signals[0].Values.at(0), "first");
  EXPECT_EQ(m->Signals[3].Type, TValueType::Float);
  EXPECT_EQ(db.Skipped, 3); // SIG_GROUP_, BA_DEF_, the attribute "Other"

  // Page 1 selects B, not A; the float reads as a float.
  const uint8_t data[8] = {0x01, 0xFE, 0xFF, 0x00, 0x00, 0x00, 0xC0, 0x3F};
  EXPECT_EQ(DecodedLines(db, 0x2A0, true, data, 8),
            (std::vector<std::string>{"000002A0 Multi Page 1", "000002A0 Multi B -2", "000002A0 Multi Level 1.5 V"}));
  // Temp, signed, in byte 2: 0xF6 is -10, so -50 degC.
  const uint8_t engine[8] = {0x10, 0x27, 0xF6, 0x01};
  EXPECT_EQ(DecodedLines(db, 100, false, engine, 4),
            (std::vector<std::string>{"064 Engine Speed 2500 rpm", "064 Engine Temp -50 degC", "064 Engine Fan 1"}));
  // Two bytes hold only the speed.
  EXPECT_EQ(DecodedLines(db, 100, false, engine, 2), (std::vector<std::string>{"064 Engine Speed 2500 rpm"}));
  EXPECT_TRUE(DecodedLines(db, 101, false, engine, 4).empty());
}

TEST(DbcRead, DamagedLinesAreReportedByNumber) {
  const char *const text = "BO_ 100 A: 8 X\n"
                           " SG_ S : 0|8@1+ (1,0) [0|1] \"\" X\n"
                           " SG_ T : 8|8@2+ (1,0) [0|1] \"\" X\n"      // line 3: byte order 2
                           " SG_ U : 0|99@1+ (1,0) [0|1] \"\" X\n"     // line 4: 99 bits
                           "BO_ x B: 8 X\n"                            // line 5
                           "SG_ V : 0|8@1+ (1,0) [0|1] \"\" X\n"       // line 6: outside a message
                           "BO_ 2048 C: 8 X\n"                         // line 7: standard above 7FF
                           "CM_ BO_ 100 ;\n"                           // line 8: no text
                           "VAL_ 100 S 1 ;\n"                          // line 9: a value without text
                           "BO_ 200 D: 8 X\n"
                           " SG_ W : 0|8@1+ (1,0) [0|1] \"unterminated\n";
  const TDatabase db = TDatabase::Parse(text);
  std::vector<int> lines;
  for (const TDbcError &e : db.Errors)
    lines.push_back(e.Line);
  EXPECT_EQ(lines, (std::vector<int>{3, 4, 5, 6, 7, 8, 9}));
  ASSERT_NE(db.Find(100, false), nullptr);
  EXPECT_EQ(db.Find(100, false)->Signals.size(), 1u);
  ASSERT_NE(db.Find(200, false), nullptr);
}

// Every signal of the demo database: random physical values in range,
// encoded and decoded, come back to the nearest raw step.
TEST(DbcEncode, RoundTripsEverySignalOfTheDemoDatabase) {
  std::ifstream f(MOLVAR_DEMO_DBC);
  std::stringstream text;
  text << f.rdbuf();
  const TDatabase db = TDatabase::Parse(text.str());
  ASSERT_TRUE(db.Errors.empty());
  ASSERT_EQ(db.Messages.size(), 6u);
  std::mt19937 rng(7);
  int checked = 0;
  for (const TDbcMessage &m : db.Messages)
    for (const TSignal &s : m.Signals)
      for (int i = 0; i < 200; ++i) {
        const double physical = std::uniform_real_distribution<double>(s.Minimum, s.Maximum)(rng);
        uint8_t data[8] = {};
        for (uint8_t &b : data)
          b = static_cast<uint8_t>(rng());
        PutRawBits(s, RawFromPhysical(s, physical), data);
        uint64_t raw;
        ASSERT_TRUE(RawBits(s, data, 8, raw)) << s.Name;
        EXPECT_NEAR(Physical(s, raw), physical, s.Factor / 2 + 1e-9) << s.Name;
        ++checked;
      }
  EXPECT_EQ(checked, 200 * 21);
}

} // namespace

// A process whose locale writes a decimal comma (as Qt's start sets it from
// the environment) reads and writes numbers in files as in the C locale.
TEST(DbcLocale, NumbersAreReadAndWrittenTheSameUnderADecimalComma) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
    GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed (scripts/test generates it)";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  std::ifstream f(MOLVAR_DEMO_DBC);
  std::stringstream text;
  text << f.rdbuf();
  const TDatabase db = TDatabase::Parse(text.str());
  size_t signals = 0;
  for (const TDbcMessage &m : db.Messages)
    signals += m.Signals.size();
  const TDatabase small = TDatabase::Parse("BO_ 256 M: 2 X\n SG_ S : 0|16@1+ (0.5,-1.25) [-1.25|100.5] \"\" X\n");
  const uint8_t data[2] = {0x1B, 0x00};
  const auto lines = DecodedLines(small, 0x100, false, data, 2);
  std::setlocale(LC_ALL, before.c_str());
  EXPECT_TRUE(db.Errors.empty());
  EXPECT_EQ(signals, 21u);
  ASSERT_EQ(small.Messages.size(), 1u);
  EXPECT_EQ(small.Messages[0].Signals[0].Factor, 0.5);
  EXPECT_EQ(small.Messages[0].Signals[0].Offset, -1.25);
  EXPECT_EQ(lines, std::vector<std::string>{"100 M S 12.25"});
}

