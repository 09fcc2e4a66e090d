// SeededRandom: a small, fast pseudo-random generator (xoshiro256**, seeded
// through splitmix64) whose output depends only on its seed, on every
// platform and standard library. The corpus generator draws all of its
// choices from it, so one seed always gives byte-identical output.
#pragma once

#include <QtGlobal>
#include <array>

class SeededRandom {
  public:
    // A generator for `seed`; `stream` selects an independent sequence for the
    // same seed (the generator uses one stream per note).
    explicit SeededRandom(quint64 seed, quint64 stream = 0);

    // The next 64 random bits.
    quint64 next();
    // A value in [0, bound); 0 when bound is 0.
    quint64 below(quint64 bound);
    // A value in [low, high] (inclusive); low when high < low.
    qint64 between(qint64 low, qint64 high);
    // True with probability `probability` (clamped to [0, 1]).
    bool chance(double probability);
    // Fills `count` bytes at `bytes` with random bytes.
    void fill(char* bytes, qsizetype count);

  private:
    std::array<quint64, 4> state_{};
};
