#include <gtest/gtest.h>
#include <gtkmm/main.h>

// Gtk::Main ends the process when there is no display, so it is made only for a real run:
// listing the tests must work anywhere.
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (testing::GTEST_FLAG(list_tests))
        return RUN_ALL_TESTS();
    Gtk::Main kit(argc, argv);
    return RUN_ALL_TESTS();
}
