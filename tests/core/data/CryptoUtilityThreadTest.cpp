#include "core/data/CryptoUtility.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using Vantor::Data::CryptoUtility;

// The first cipher call of the process loads the cipher providers; here several threads make
// it at once and keep going.
TEST(CryptoUtilityThreads, ThreadsEncryptAndDecryptAtOnce)
{
    std::atomic<int> mismatches(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 50; ++round) {
                const std::string plain(static_cast<size_t>(t * 13 + round), static_cast<char>(0x80 + t));
                std::string cipherText, back;
                CryptoUtility::EncryptString(plain, cipherText);
                CryptoUtility::DecryptString(cipherText, back);
                mismatches += back != plain;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, mismatches);
}
