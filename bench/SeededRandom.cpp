#include "bench/SeededRandom.h"

#include <QtEndian>
#include <cstring>

namespace {

quint64 splitMix64(quint64& x) {
    quint64 z = (x += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

quint64 rotateLeft(quint64 x, int k) { return (x << k) | (x >> (64 - k)); }

}  // namespace

SeededRandom::SeededRandom(quint64 seed, quint64 stream) {
    // Mixing the stream through splitmix64 first keeps neighbouring streams of
    // one seed unrelated.
    quint64 mix = seed;
    quint64 streamMix = stream;
    mix ^= splitMix64(streamMix);
    for (quint64& word : state_) word = splitMix64(mix);
}

quint64 SeededRandom::next() {
    const quint64 result = rotateLeft(state_[1] * 5, 7) * 9;
    const quint64 t = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = rotateLeft(state_[3], 45);
    return result;
}

quint64 SeededRandom::below(quint64 bound) {
    if (bound == 0) return 0;
    // Rejection keeps the values uniform for any bound.
    const quint64 limit = ~quint64(0) - (~quint64(0) % bound);
    quint64 value;
    do value = next();
    while (value >= limit);
    return value % bound;
}

qint64 SeededRandom::between(qint64 low, qint64 high) {
    if (high <= low) return low;
    return low + qint64(below(quint64(high - low) + 1));
}

bool SeededRandom::chance(double probability) {
    if (probability <= 0) return false;
    if (probability >= 1) return true;
    // 53 random bits give a uniform double in [0, 1).
    return double(next() >> 11) * 0x1.0p-53 < probability;
}

void SeededRandom::fill(char* bytes, qsizetype count) {
    while (count >= 8) {
        // Little-endian on every host, so the bytes do not depend on the machine.
        const quint64 word = qToLittleEndian(next());
        std::memcpy(bytes, &word, 8);
        bytes += 8;
        count -= 8;
    }
    if (count > 0) {
        const quint64 word = qToLittleEndian(next());
        std::memcpy(bytes, &word, size_t(count));
    }
}
