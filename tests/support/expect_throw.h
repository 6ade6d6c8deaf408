#pragma once
// One check for an operation that must fail: it raises E (or a class derived
// from it) whose text matches, and the error's other fields pass `check`.
// Anything else raised goes on to the test, which fails with it. A failure
// names the line of the call.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <source_location>
#include <string>
#include <typeinfo>

namespace sendrix::test {

// `text` is the whole text as a string, or a matcher (testing::HasSubstr,
// testing::_ for any text).
template <class E, class Action, class Check>
void expectThrowText(Action&& action, const ::testing::Matcher<const std::string&>& text, Check&& check,
                     std::source_location where = std::source_location::current()) {
    const ::testing::ScopedTrace trace(where.file_name(), static_cast<int>(where.line()), "expectThrowText");
    try {
        action();
    } catch (const E& error) {
        EXPECT_THAT(std::string(error.what()), text);
        check(error);
        return;
    }
    ADD_FAILURE() << "nothing raised, expected " << typeid(E).name();
}

template <class E, class Action>
void expectThrowText(Action&& action, const ::testing::Matcher<const std::string&>& text,
                     std::source_location where = std::source_location::current()) {
    expectThrowText<E>(
        std::forward<Action>(action), text, [](const E&) {}, where);
}

}  // namespace sendrix::test
