// SPDX-License-Identifier: GPL-3.0-or-later
#include "Dbc.h"
#include "Numbers.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

namespace {

enum class TTok { Word, Number, String, Punct, End };
struct TToken {
  TTok Kind = TTok::End;
  std::string Text;
  int Line = 0;
  bool FirstOnLine = false;
};

// The whole text as tokens: words (letters, digits, underscores), numbers
// (with sign, fraction and exponent), strings (with \" and \\ escapes, across
// lines) and single punctuation characters.
std::vector<TToken> Tokenize(std::string_view text) {
  std::vector<TToken> out;
  int line = 1;
  bool first = true;
  size_t i = 0;
  auto push = [&](TTok kind, std::string t) {
    out.push_back({kind, std::move(t), line, first});
    first = false;
  };
  // A line ends at LF, at CR LF, or at a CR alone (files from old tools).
  auto lineEnd = [&](size_t k) { return text[k] == '\n' || (text[k] == '\r' && (k + 1 == text.size() || text[k + 1] != '\n')); };
  while (i < text.size()) {
    const char c = text[i];
    if (lineEnd(i)) {
      ++line;
      first = true;
      ++i;
    } else if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
      while (i < text.size() && !lineEnd(i))
        ++i;
    } else if (c == '"') {
      const int startLine = line;
      std::string s;
      ++i;
      while (i < text.size() && text[i] != '"') {
        if (text[i] == '\\' && i + 1 < text.size())
          ++i;
        if (lineEnd(i))
          ++line;
        s += text[i++];
      }
      ++i; // the closing quote (or the end)
      out.push_back({TTok::String, std::move(s), startLine, first});
      first = false;
    } else if (std::isdigit(static_cast<unsigned char>(c)) ||
               ((c == '-' || c == '+' || c == '.') && i + 1 < text.size() &&
                (std::isdigit(static_cast<unsigned char>(text[i + 1])) || text[i + 1] == '.'))) {
      size_t j = i + 1;
      while (j < text.size() && (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '.' || text[j] == '_' ||
                                 ((text[j] == '-' || text[j] == '+') && (text[j - 1] == 'e' || text[j - 1] == 'E'))))
        ++j;
      push(TTok::Number, std::string(text.substr(i, j - i)));
      i = j;
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      size_t j = i + 1;
      while (j < text.size() && (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '_'))
        ++j;
      push(TTok::Word, std::string(text.substr(i, j - i)));
      i = j;
    } else {
      push(TTok::Punct, std::string(1, c));
      ++i;
    }
  }
  out.push_back({TTok::End, "", line, true});
  return out;
}

std::optional<double> ToDouble(const std::string &t) { return ParseDouble(t); }
std::optional<int64_t> ToInt(const std::string &t) {
  const std::optional<double> d = ToDouble(t);
  if (!d || *d != std::floor(*d) || std::fabs(*d) > 9.0e18)
    return std::nullopt;
  return static_cast<int64_t>(*d);
}

class TParser {
public:
  TParser(std::string_view text, TDatabase &db) : FTokens(Tokenize(text)), FDb(db) {}
  void Run();

private:
  const TToken &Peek(size_t ahead = 0) const { return FTokens[std::min(FPos + ahead, FTokens.size() - 1)]; }
  const TToken &Next() { return FTokens[std::min(FPos++, FTokens.size() - 1)]; }
  bool AtEnd() const { return Peek().Kind == TTok::End; }
  bool Is(const char *text, size_t ahead = 0) const { return Peek(ahead).Text == text && Peek(ahead).Kind != TTok::String; }
  bool Take(const char *text) {
    if (!Is(text))
      return false;
    ++FPos;
    return true;
  }
  // Skips to the start of the next line.
  void SkipLine() {
    const int line = Peek().Line;
    ++FPos;
    while (!AtEnd() && !(Peek().FirstOnLine && Peek().Line > line))
      ++FPos;
  }
  // Skips past the next ';' (a statement of several lines).
  void SkipStatement() {
    while (!AtEnd() && !Take(";"))
      ++FPos;
  }
  void Error(int line, const std::string &text) { FDb.Errors.push_back({line, text}); }
  TDbcMessage *MessageById(int64_t rawId);
  TSignal *SignalOf(int64_t rawId, const std::string &name);

  void Namespace();
  void Nodes();
  void Message();
  void Signal();
  void Comment();
  void Attribute();
  void ValueTable();
  void Values();
  void SignalType();

  std::vector<TToken> FTokens;
  size_t FPos = 0;
  TDatabase &FDb;
  TDbcMessage *FCurrent = nullptr; // the message SG_ lines belong to
  std::map<std::string, std::map<int64_t, std::string>> FTables;
};

void TParser::Run() {
  while (!AtEnd()) {
    const TToken &t = Peek();
    if (t.Kind != TTok::Word) {
      Error(t.Line, "unexpected \"" + t.Text + "\"");
      SkipLine();
      continue;
    }
    if (t.Text != "SG_")
      FCurrent = nullptr;
    if (t.Text == "VERSION")
      SkipLine();
    else if (t.Text == "NS_")
      Namespace();
    else if (t.Text == "BS_")
      SkipLine();
    else if (t.Text == "BU_")
      Nodes();
    else if (t.Text == "BO_")
      Message();
    else if (t.Text == "SG_")
      Signal();
    else if (t.Text == "CM_")
      Comment();
    else if (t.Text == "BA_")
      Attribute();
    else if (t.Text == "VAL_TABLE_")
      ValueTable();
    else if (t.Text == "VAL_")
      Values();
    else if (t.Text == "SIG_VALTYPE_")
      SignalType();
    else {
      // Kinds not read here (attribute definitions and defaults, signal
      // groups, environment variables, ...): to their end.
      ++FDb.Skipped;
      const bool statement = t.Text.size() > 1 && t.Text.back() == '_';
      if (statement) {
        const int line = t.Line;
        size_t p = FPos;
        while (p < FTokens.size() && FTokens[p].Kind != TTok::End && FTokens[p].Text != ";" &&
               !(FTokens[p].FirstOnLine && FTokens[p].Line > line && FTokens[p].Kind == TTok::Word &&
                 FTokens[p].Text.back() == '_'))
          ++p;
        FPos = p;
        Take(";");
      } else {
        SkipLine();
      }
    }
  }
}

// "NS_ :" and the keywords it lists, one a line.
void TParser::Namespace() {
  SkipLine();
  while (!AtEnd() && Peek().Kind == TTok::Word && Peek(1).Line > Peek().Line)
    ++FPos;
}

void TParser::Nodes() {
  const int line = Next().Line;
  Take(":");
  while (!AtEnd() && Peek().Line == line && !Peek().FirstOnLine)
    FDb.Nodes.push_back(Next().Text);
}

void TParser::Message() {
  const TToken &key = Next();
  const int line = key.Line;
  TDbcMessage m;
  const std::optional<int64_t> id = Peek().Kind == TTok::Number ? ToInt(Peek().Text) : std::nullopt;
  if (!id || *id < 0 || *id > 0xFFFFFFFFLL) {
    Error(line, "BO_: an identifier expected");
    SkipLine();
    return;
  }
  ++FPos;
  m.Extended = (*id & 0x80000000LL) != 0;
  m.Id = static_cast<uint32_t>(*id) & (m.Extended ? 0x1FFFFFFFu : 0x7FFu);
  if (!m.Extended && *id > 0x7FF) {
    Error(line, "BO_: a standard identifier above 7FF");
    SkipLine();
    return;
  }
  if (Peek().Kind != TTok::Word || Peek(1).Text != ":") {
    Error(line, "BO_: a name and \":\" expected");
    SkipLine();
    return;
  }
  m.Name = Next().Text;
  Take(":");
  const std::optional<int64_t> length = Peek().Kind == TTok::Number ? ToInt(Peek().Text) : std::nullopt;
  if (!length || *length < 0 || *length > 64) {
    Error(line, "BO_: a length of 0 to 64 bytes expected");
    SkipLine();
    return;
  }
  ++FPos;
  m.Length = static_cast<int>(*length);
  if (Peek().Kind == TTok::Word && Peek().Line == line)
    m.Sender = Next().Text;
  if (!AtEnd() && Peek().Line == line && !Peek().FirstOnLine) {
    Error(line, "BO_: unexpected \"" + Peek().Text + "\"");
    SkipLine();
  }
  FDb.Messages.push_back(std::move(m));
  FCurrent = &FDb.Messages.back();
}

// SG_ name [M|mN] : start|length@order sign (factor,offset) [min|max] "unit" receivers
void TParser::Signal() {
  const int line = Next().Line;
  auto fail = [&](const std::string &what) {
    Error(line, "SG_: " + what);
    while (!AtEnd() && Peek().Line == line && !Peek().FirstOnLine)
      ++FPos;
  };
  if (!FCurrent)
    return fail("a signal outside a message");
  TSignal s;
  if (Peek().Kind != TTok::Word)
    return fail("a name expected");
  s.Name = Next().Text;
  if (Peek().Kind == TTok::Word && Peek().Line == line) {
    const std::string mux = Next().Text;
    if (mux == "M") {
      s.Multiplex = TMultiplex::Multiplexer;
    } else if (mux.size() > 1 && mux[0] == 'm' && std::isdigit(static_cast<unsigned char>(mux[1]))) {
      s.Multiplex = TMultiplex::Multiplexed;
      s.MultiplexValue = std::strtoll(mux.c_str() + 1, nullptr, 10);
    } else {
      return fail("\"" + mux + "\" is no multiplexer indicator");
    }
  }
  if (!Take(":"))
    return fail("\":\" expected");
  // "0|8@1+" may come as several tokens: 0 | 8 @ 1 + (or 8@1- with the sign
  // read into the number).
  auto number = [&]() -> std::optional<double> {
    if (Peek().Kind != TTok::Number || Peek().Line != line)
      return std::nullopt;
    return ToDouble(Next().Text);
  };
  const auto start = number();
  if (!start || !Take("|"))
    return fail("start bit and \"|\" expected");
  const auto length = number();
  if (!length || !Take("@"))
    return fail("length and \"@\" expected");
  // The order digit and the sign: "1+" reads as the number 1 and "+", "0-"
  // as 0 and "-"; "1-" may read as one number "1" then "-".
  const TToken &orderTok = Next();
  std::string order = orderTok.Text, sign;
  if (order.size() == 2 && (order[1] == '+' || order[1] == '-')) {
    sign = order.substr(1);
    order = order.substr(0, 1);
  } else if (Is("+") || Is("-")) {
    sign = Next().Text;
  } else if (Peek().Kind == TTok::Number && (Peek().Text[0] == '+' || Peek().Text[0] == '-')) {
    sign = std::string(1, Peek().Text[0]);
  }
  if ((order != "0" && order != "1") || sign.empty())
    return fail("byte order (0 or 1) and sign (+ or -) expected");
  if (*start < 0 || *start > 511 || *start != std::floor(*start) || *length < 1 || *length > 64 ||
      *length != std::floor(*length))
    return fail("a start bit of 0 to 511 and a length of 1 to 64 expected");
  s.StartBit = static_cast<int>(*start);
  s.Length = static_cast<int>(*length);
  s.Order = order == "1" ? TByteOrder::Intel : TByteOrder::Motorola;
  s.Type = sign == "-" ? TValueType::Signed : TValueType::Unsigned;
  if (!Take("("))
    return fail("\"(\" expected");
  const auto factor = number();
  if (!factor || !Take(","))
    return fail("factor and \",\" expected");
  const auto offset = number();
  if (!offset || !Take(")"))
    return fail("offset and \")\" expected");
  if (!Take("["))
    return fail("\"[\" expected");
  const auto minimum = number();
  if (!minimum || !Take("|"))
    return fail("minimum and \"|\" expected");
  const auto maximum = number();
  if (!maximum || !Take("]"))
    return fail("maximum and \"]\" expected");
  s.Factor = *factor;
  s.Offset = *offset;
  s.Minimum = *minimum;
  s.Maximum = *maximum;
  if (Peek().Kind == TTok::String && Peek().Line == line)
    s.Unit = Next().Text;
  while (!AtEnd() && Peek().Line == line && !Peek().FirstOnLine) {
    if (Take(","))
      continue;
    s.Receivers.push_back(Next().Text);
  }
  FCurrent->Signals.push_back(std::move(s));
}

TDbcMessage *TParser::MessageById(int64_t rawId) {
  const bool extended = (rawId & 0x80000000LL) != 0;
  const uint32_t id = static_cast<uint32_t>(rawId) & (extended ? 0x1FFFFFFFu : 0x7FFu);
  for (TDbcMessage &m : FDb.Messages)
    if (m.Id == id && m.Extended == extended)
      return &m;
  return nullptr;
}

TSignal *TParser::SignalOf(int64_t rawId, const std::string &name) {
  if (TDbcMessage *m = MessageById(rawId))
    for (TSignal &s : m->Signals)
      if (s.Name == name)
        return &s;
  return nullptr;
}

// CM_ [BO_ id | SG_ id name | BU_ name | EV_ name] "text" ;
void TParser::Comment() {
  const int line = Next().Line;
  std::string *target = nullptr;
  if (Take("BO_")) {
    const auto id = Peek().Kind == TTok::Number ? ToInt(Next().Text) : std::nullopt;
    if (TDbcMessage *m = id ? MessageById(*id) : nullptr)
      target = &m->Comment;
  } else if (Take("SG_")) {
    const auto id = Peek().Kind == TTok::Number ? ToInt(Next().Text) : std::nullopt;
    const std::string name = Peek().Kind == TTok::Word ? Next().Text : std::string();
    if (TSignal *s = id ? SignalOf(*id, name) : nullptr)
      target = &s->Comment;
  } else if (Take("BU_") || Take("EV_")) {
    ++FPos; // the node or variable
  }
  if (Peek().Kind != TTok::String) {
    Error(line, "CM_: a comment text expected");
    SkipStatement();
    return;
  }
  if (target)
    *target = Peek().Text;
  ++FPos;
  if (!Take(";"))
    Error(line, "CM_: \";\" expected");
}

// BA_ "name" [BO_ id | SG_ id name | BU_ name | EV_ name] value ;
// The message cycle time is read; other attributes are skipped.
void TParser::Attribute() {
  const int line = Next().Line;
  const std::string name = Peek().Kind == TTok::String ? Next().Text : std::string();
  if (name == "GenMsgCycleTime" && Take("BO_")) {
    const auto id = Peek().Kind == TTok::Number ? ToInt(Next().Text) : std::nullopt;
    const auto value = Peek().Kind == TTok::Number ? ToInt(Next().Text) : std::nullopt;
    if (!id || !value) {
      Error(line, "BA_ \"GenMsgCycleTime\": a message and a value expected");
      SkipStatement();
      return;
    }
    if (TDbcMessage *m = MessageById(*id))
      m->CycleTimeMs = static_cast<int>(std::clamp<int64_t>(*value, 0, std::numeric_limits<int>::max()));
  } else {
    ++FDb.Skipped;
  }
  SkipStatement();
}

void TParser::ValueTable() {
  const int line = Next().Line;
  if (Peek().Kind != TTok::Word) {
    Error(line, "VAL_TABLE_: a name expected");
    SkipStatement();
    return;
  }
  std::map<int64_t, std::string> &table = FTables[Next().Text];
  while (!AtEnd() && !Is(";")) {
    const auto value = Peek().Kind == TTok::Number ? ToInt(Peek().Text) : std::nullopt;
    if (!value || Peek(1).Kind != TTok::String) {
      Error(Peek().Line, "VAL_TABLE_: a value and its text expected");
      SkipStatement();
      return;
    }
    ++FPos;
    table[*value] = Next().Text;
  }
  Take(";");
}

// VAL_ id signal (value "text")* ;  or  VAL_ id signal table ;
void TParser::Values() {
  const int line = Next().Line;
  const auto id = Peek().Kind == TTok::Number ? ToInt(Next().Text) : std::nullopt;
  const std::string name = Peek().Kind == TTok::Word ? Next().Text : std::string();
  if (!id || name.empty()) {
    // Value descriptions of an environment variable: "VAL_ name ...".
    if (!id && !name.empty()) {
      ++FDb.Skipped;
      SkipStatement();
      return;
    }
    Error(line, "VAL_: a message and a signal expected");
    SkipStatement();
    return;
  }
  TSignal *s = SignalOf(*id, name);
  std::map<int64_t, std::string> values;
  if (Peek().Kind == TTok::Word) {
    const auto table = FTables.find(Next().Text);
    if (table != FTables.end())
      values = table->second;
  }
  while (!AtEnd() && !Is(";")) {
    const auto value = Peek().Kind == TTok::Number ? ToInt(Peek().Text) : std::nullopt;
    if (!value || Peek(1).Kind != TTok::String) {
      Error(Peek().Line, "VAL_: a value and its text expected");
      SkipStatement();
      return;
    }
    ++FPos;
    values[*value] = Next().Text;
  }
  Take(";");
  if (s)
    s->Values = std::move(values);
}

// SIG_VALTYPE_ id signal : 1 (float) | 2 (double) ;
void TParser::SignalType() {
  const int line = Next().Line;
  const auto id = Peek().Kind == TTok::Number ? ToInt(Next().Text) : std::nullopt;
  const std::string name = Peek().Kind == TTok::Word ? Next().Text : std::string();
  Take(":");
  const int64_t type = Peek().Kind == TTok::Number ? ToInt(Next().Text).value_or(-1) : -1;
  if (!id || name.empty() || type < 0 || type > 2) {
    Error(line, "SIG_VALTYPE_: a message, a signal and 0, 1 or 2 expected");
    SkipStatement();
    return;
  }
  if (TSignal *s = SignalOf(*id, name)) {
    if (type == 1 && s->Length != 32)
      Error(line, "SIG_VALTYPE_: a float signal of " + std::to_string(s->Length) + " bits");
    else if (type == 2 && s->Length != 64)
      Error(line, "SIG_VALTYPE_: a double signal of " + std::to_string(s->Length) + " bits");
    else if (type != 0)
      s->Type = type == 1 ? TValueType::Float : TValueType::Double;
  }
  Take(";");
}

// The bit at position p of the DBC's numbering: byte p / 8, bit p % 8.
int BitAt(const uint8_t *data, int p) { return (data[p / 8] >> (p % 8)) & 1; }
void SetBit(uint8_t *data, int p, int bit) {
  data[p / 8] = static_cast<uint8_t>((data[p / 8] & ~(1 << (p % 8))) | (bit << (p % 8)));
}
// The positions of a signal's bits, most significant first.
template <typename F> bool EachBit(const TSignal &s, int bytes, F f) {
  int p = s.StartBit;
  if (s.Order == TByteOrder::Intel)
    p = s.StartBit + s.Length - 1;
  for (int i = 0; i < s.Length; ++i) {
    if (p < 0 || p >= bytes * 8)
      return false;
    f(p);
    if (s.Order == TByteOrder::Intel)
      --p;
    else
      p = p % 8 == 0 ? p + 15 : p - 1; // on to the next byte's most significant bit
  }
  return true;
}

} // namespace

const TSignal *TDbcMessage::Multiplexer() const {
  for (const TSignal &s : Signals)
    if (s.Multiplex == TMultiplex::Multiplexer)
      return &s;
  return nullptr;
}

TDatabase TDatabase::Parse(std::string_view text) {
  TDatabase db;
  TParser(text, db).Run();
  db.Index();
  return db;
}

void TDatabase::Index() {
  FIndex.clear();
  for (size_t i = 0; i < Messages.size(); ++i)
    FIndex.emplace((static_cast<uint64_t>(Messages[i].Extended) << 32) | Messages[i].Id, i);
}

const TDbcMessage *TDatabase::Find(uint32_t id, bool extended) const {
  const auto it = FIndex.find((static_cast<uint64_t>(extended) << 32) | id);
  return it == FIndex.end() ? nullptr : &Messages[it->second];
}

bool RawBits(const TSignal &s, const uint8_t *data, int length, uint64_t &raw) {
  uint64_t v = 0;
  const bool inside = EachBit(s, std::clamp(length, 0, 8), [&](int p) { v = (v << 1) | static_cast<uint64_t>(BitAt(data, p)); });
  raw = v;
  return inside;
}

double RawNumber(const TSignal &s, uint64_t raw) {
  switch (s.Type) {
  case TValueType::Float: {
    const uint32_t bits = static_cast<uint32_t>(raw);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }
  case TValueType::Double: {
    double d;
    std::memcpy(&d, &raw, sizeof d);
    return d;
  }
  case TValueType::Signed:
    if (s.Length < 64 && (raw >> (s.Length - 1)) & 1)
      return static_cast<double>(static_cast<int64_t>(raw | (~uint64_t{0} << s.Length)));
    return static_cast<double>(static_cast<int64_t>(raw));
  default:
    return static_cast<double>(raw);
  }
}

double Physical(const TSignal &s, uint64_t raw) { return RawNumber(s, raw) * s.Factor + s.Offset; }

bool SignalPresent(const TDbcMessage &m, const TSignal &s, const uint8_t *data, int length) {
  if (s.Multiplex != TMultiplex::Multiplexed)
    return true;
  const TSignal *mux = m.Multiplexer();
  uint64_t raw;
  return mux && RawBits(*mux, data, length, raw) && static_cast<int64_t>(RawNumber(*mux, raw)) == s.MultiplexValue;
}

uint64_t RawFromPhysical(const TSignal &s, double physical) {
  if (s.Minimum < s.Maximum)
    physical = std::clamp(physical, s.Minimum, s.Maximum);
  const double number = s.Factor != 0 ? (physical - s.Offset) / s.Factor : 0;
  const uint64_t mask = s.Length >= 64 ? ~uint64_t{0} : (uint64_t{1} << s.Length) - 1;
  switch (s.Type) {
  case TValueType::Float: {
    const float f = static_cast<float>(number);
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
  }
  case TValueType::Double: {
    uint64_t bits;
    std::memcpy(&bits, &number, sizeof bits);
    return bits;
  }
  case TValueType::Signed: {
    const double lo = -std::ldexp(1.0, s.Length - 1), hi = std::ldexp(1.0, s.Length - 1) - 1;
    const double r = std::isnan(number) ? 0 : std::clamp(std::round(number), lo, hi);
    // The largest 64-bit value as a double is 2^63, one past what fits.
    const int64_t v = r >= 9.2233720368547758e18 ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(r);
    return static_cast<uint64_t>(v) & mask;
  }
  default: {
    const double hi = std::ldexp(1.0, s.Length) - 1;
    const double r = std::isnan(number) ? 0 : std::clamp(std::round(number), 0.0, hi);
    return r >= 1.8446744073709552e19 ? ~uint64_t{0} : static_cast<uint64_t>(r) & mask;
  }
  }
}

const std::string *ValueText(const TSignal &s, uint64_t raw) {
  if (s.Values.empty())
    return nullptr;
  const double number = RawNumber(s, raw);
  if (!(number >= -9.2e18 && number <= 9.2e18)) // a float's NaN or a value no description can have
    return nullptr;
  const auto text = s.Values.find(static_cast<int64_t>(number));
  return text != s.Values.end() && number == static_cast<double>(text->first) ? &text->second : nullptr;
}

void PutRawBits(const TSignal &s, uint64_t raw, uint8_t *data) {
  int i = s.Length - 1;
  EachBit(s, 8, [&](int p) { SetBit(data, p, static_cast<int>((raw >> i--) & 1)); });
}

std::vector<std::string> DecodedLines(const TDatabase &db, uint32_t id, bool extended, const uint8_t *data, int length) {
  std::vector<std::string> lines;
  const TDbcMessage *m = db.Find(id, extended);
  if (!m)
    return lines;
  char head[16];
  std::snprintf(head, sizeof head, extended ? "%08X" : "%03X", id);
  for (const TSignal &s : m->Signals) {
    uint64_t raw;
    if (!SignalPresent(*m, s, data, length) || !RawBits(s, data, length, raw))
      continue;
    std::string line = std::string(head) + ' ' + m->Name + ' ' + s.Name + ' ' + FormatDouble(Physical(s, raw));
    if (!s.Unit.empty())
      line += ' ' + s.Unit;
    lines.push_back(std::move(line));
  }
  return lines;
}
