#pragma once

// Draws typed values from a fuzzer's bytes; past the end every draw is zero. fuzzRequire checks
// what a target promises for any bytes.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

// A broken promise ends the run with what broke; libFuzzer keeps the input that broke it.
[[noreturn]] inline void fuzzFail(const char* promise)
{
    std::fprintf(stderr, "broken: %s\n", promise);
    std::abort();
}

inline void fuzzRequire(bool kept, const char* promise)
{
    if (!kept)
        fuzzFail(promise);
}

class FuzzInput
{
public:
    FuzzInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool empty() const { return m_pos >= m_size; }

    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }

    template <typename T> T raw()
    {
        T value{};
        unsigned char bytes[sizeof(T)] = {};
        for (unsigned char& b : bytes)
            b = byte();
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }

    // Mostly the values that break code: zero, signs, extremes, NaN and the infinities.
    float real()
    {
        static const float special[] = {0.f,
                                        -0.f,
                                        1.f,
                                        -1.f,
                                        0.5f,
                                        1e-7f,
                                        1e30f,
                                        -1e30f,
                                        3.4e38f,
                                        -3.4e38f,
                                        __builtin_nanf(""),
                                        __builtin_inff(),
                                        -__builtin_inff(),
                                        1e-45f,
                                        4096.f,
                                        360.f};
        const uint8_t pick = byte();
        if (pick < 128)
            return special[pick % (sizeof(special) / sizeof(special[0]))];
        return raw<float>();
    }

    std::string text(size_t maxLength)
    {
        const size_t length = byte() % (maxLength + 1);
        std::string s;
        for (size_t i = 0; i < length && !empty(); ++i)
            s += char(byte());
        return s;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};
