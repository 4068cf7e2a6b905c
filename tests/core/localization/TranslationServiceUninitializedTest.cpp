#include "core/localization/TranslationService.h"

#include <gtest/gtest.h>

using Vantor::Localization::TranslationService;

TEST(TranslationServiceBeforeInitialize, InstanceThrowsUntilTheFirstInitialize)
{
    EXPECT_THROW(TranslationService::Instance(), TranslationService::ServiceNotInitializedException);
    // The lock was released on the way out: a second call still gets the exception, not a deadlock.
    EXPECT_THROW(TranslationService::Instance(), TranslationService::ServiceNotInitializedException);

    TranslationService::Initialize("/nonexistent/translations", "de_DE");
    ASSERT_NE(nullptr, TranslationService::Instance());
    EXPECT_EQ("Waiting", TranslationService::Instance()->Translate("sonvel_dl_waiting", "Waiting"));
}
