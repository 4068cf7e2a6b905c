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
    std::atomic<bool> go(false);
    std::atomic<int> mismatches(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            while (!go) {
            }
            for (int round = 0; round < 50; ++round) {
                const std::string plain(static_cast<size_t>(t * 13 + round), static_cast<char>(0x80 + t));
                std::string cipherText, encoded, decoded, back;
                CryptoUtility::EncryptString(plain, cipherText);
                CryptoUtility::Base64Encode(cipherText.data(), static_cast<int>(cipherText.size()), encoded);
                CryptoUtility::Base64Decode(encoded.data(), static_cast<int>(encoded.size()), decoded);
                CryptoUtility::DecryptString(decoded, back);
                if (back != plain)
                    ++mismatches;
            }
        });
    }
    go = true;
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, mismatches);
}
