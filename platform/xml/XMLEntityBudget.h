// XMLEntityBudget: how much internal entity text one parse may expand.
//
// Documents are parsed with XML_PARSE_HUGE so that very large text nodes pass,
// which also turns off libxml2's own guard against entity amplification
// ("billion laughs"). The parsers charge every entity they expand here and stop
// once the expanded text exceeds the larger of a fixed floor and a multiple of
// the input read so far. Not thread-safe: one budget per parse.
#pragma once

#include <QtGlobal>

class Error;

class XMLEntityBudget {
  public:
    static constexpr qint64 kMinimumAllowance = 10 * 1000 * 1000;  // bytes of expanded text
    static constexpr qint64 kAmplificationFactor = 5;
    // What one expansion costs beyond its text: libxml2 sets up a nested
    // parser for every entity reference it expands in content.
    static constexpr qint64 kCostPerExpansion = 256;

    // Records `bytes` more input read; the allowance grows with it.
    void addInput(qint64 bytes) { input_ += bytes; }
    // Charges one expansion of `bytes` of text. False once the total is over
    // the allowance; from then on every charge fails.
    bool charge(qint64 bytes);
    bool isExceeded() const { return exceeded_; }
    // The error reported when the budget is exceeded (XMLParserErrorDomain,
    // libxml2's XML_ERR_ENTITY_LOOP), positioned at line and column.
    static Error exceededError(qint64 line, qint64 column);

  private:
    qint64 input_ = 0;
    qint64 expanded_ = 0;
    bool exceeded_ = false;
};
