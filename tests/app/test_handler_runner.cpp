#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/handler_runner.h"
#include "support/app/scripted_interaction.h"

namespace sendrix::app {
namespace {

TEST(HandlerRunner, EveryErrorEndsInTheErrorBox) {
    test::ScriptedInteraction ui;
    EXPECT_TRUE(runHandler(ui, [] {}));
    EXPECT_FALSE(runHandler(ui, [] { throw Error("Datei x kann nicht geöffnet werden"); }));
    EXPECT_FALSE(runHandler(ui, [] { throw std::out_of_range("vector"); }));
    EXPECT_FALSE(runHandler(ui, [] { throw 42; }));
    EXPECT_EQ(ui.errors, (std::vector<std::string>{"Datei x kann nicht geöffnet werden", "vector",
                                                   "Ein unbekannter Fehler ist aufgetreten."}));
}

}  // namespace
}  // namespace sendrix::app
