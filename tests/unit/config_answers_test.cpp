#include "config/config_answers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string routed_nic_of(const char* prefixes) {
    char routed_nic[IF_NAMESIZE];
    std::memset(routed_nic, 'x', sizeof routed_nic);
    routed_nic_from_prefixes(prefixes, routed_nic);
    return routed_nic;
}

struct Answer {
    AnswerKind kind;
    const char* value;
};

// Runs the reader's rules over answers given in advance, as load_node_config does
// over jq's: stops asking when a rule says so.
int read_answers(NodeConfig& config, std::initializer_list<Answer> answers, int* asked = nullptr) {
    ConfigRead read;
    int step = 0;
    for (const Answer& answer : answers) {
        ++step;
        if (!take_config_answer(config, read, step - 1, answer.kind, answer.value)) break;
    }
    if (asked != nullptr) *asked = step;
    return finish_config_read(config, read);
}

NodeConfig a_pop() {
    NodeConfig config;
    config.is_pop = true;
    std::strcpy(config.pop_iface, "nic0");
    std::strcpy(config.routed_nic, "nic9");
    return config;
}

constexpr Answer value_answer(const char* text) { return {AnswerKind::value, text}; }
constexpr Answer no_line{AnswerKind::no_line, ""};
constexpr Answer null_answer{AnswerKind::null, "null"};
constexpr Answer empty_answer{AnswerKind::empty, ""};

}  // namespace

TEST(ConfigAnswers, ClassifiesFirstLines) {
    EXPECT_EQ(classify_answer("", false), AnswerKind::no_line);
    EXPECT_EQ(classify_answer("null", true), AnswerKind::null);
    EXPECT_EQ(classify_answer("nullify", true), AnswerKind::null) << "anything that begins with null";
    EXPECT_EQ(classify_answer("nul", true), AnswerKind::value);
    EXPECT_EQ(classify_answer("", true), AnswerKind::empty);
    EXPECT_EQ(classify_answer("2001:db8::1", true), AnswerKind::value);
}

TEST(ConfigAnswers, RoutedNicIsTheLastUntrimmedNonEmptyNicEntryCutTo15) {
    EXPECT_EQ(routed_nic_of("tavro,nic1"), "nic1");
    EXPECT_EQ(routed_nic_of("nic0,tavro,nic2"), "nic2");
    EXPECT_EQ(routed_nic_of("tavro,eth"), "");
    EXPECT_EQ(routed_nic_of(",,nic3,,,"), "nic3");
    EXPECT_EQ(routed_nic_of("nic4, nic5"), "nic4") << "an entry with a leading space does not begin with nic";
    EXPECT_EQ(routed_nic_of("ni,nic"), "nic");
    EXPECT_EQ(routed_nic_of("nic456789012345678,tavro"), "nic456789012345");
    EXPECT_EQ(routed_nic_of(""), "");
}

TEST(ConfigAnswers, NullOrEmptyAddressEndsTheReadAsNotAPop) {
    for (const Answer first : {null_answer, empty_answer}) {
        NodeConfig config = a_pop();
        int asked = 0;
        EXPECT_EQ(read_answers(config, {first, value_answer("nic7"), value_answer("nic8")}, &asked), 0);
        EXPECT_EQ(asked, 1);
        EXPECT_FALSE(config.is_pop);
        EXPECT_STREQ(config.pop_iface, "nic0");
        EXPECT_STREQ(config.routed_nic, "nic9");
    }
}

TEST(ConfigAnswers, AddressWithoutInterfaceIsNotAPop) {
    NodeConfig config = a_pop();
    int asked = 0;
    EXPECT_EQ(read_answers(config, {value_answer("fd00::1"), null_answer, value_answer("nic8")}, &asked), 0);
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(config.is_pop);
    EXPECT_STREQ(config.pop_iface, "nic0");
}

TEST(ConfigAnswers, AddressAndInterfaceMakeAPop) {
    NodeConfig config;
    EXPECT_EQ(read_answers(config, {value_answer("fd00::1"), value_answer("nic0"), value_answer("tavro,nic1")}), 1);
    EXPECT_TRUE(config.is_pop);
    EXPECT_STREQ(config.pop_iface, "nic0");
    EXPECT_STREQ(config.routed_nic, "nic1");

    // Without a usable prefix list, routed_nic keeps what earlier reads left.
    for (const Answer third : {null_answer, empty_answer, no_line}) {
        NodeConfig kept;
        std::strcpy(kept.routed_nic, "nic5");
        EXPECT_EQ(read_answers(kept, {value_answer("fd00::1"), value_answer("abcdefghijklmnopq"), third}), 1);
        EXPECT_TRUE(kept.is_pop);
        EXPECT_STREQ(kept.pop_iface, "abcdefghijklmno");
        EXPECT_STREQ(kept.routed_nic, "nic5");
    }
}

TEST(ConfigAnswers, MissingAnswersLeaveTheStateAlone) {
    NodeConfig config = a_pop();
    EXPECT_EQ(read_answers(config, {no_line, no_line, no_line}), 1);
    EXPECT_TRUE(config.is_pop);
    EXPECT_STREQ(config.routed_nic, "nic9");

    NodeConfig plain;
    EXPECT_EQ(read_answers(plain, {no_line, no_line, no_line}), 0);
    EXPECT_FALSE(plain.is_pop);
}

TEST(ConfigAnswers, OneMissingKeyLeavesIsPopUnlessTheListIsNullOrEmpty) {
    NodeConfig config = a_pop();
    EXPECT_EQ(read_answers(config, {value_answer("fd00::1"), no_line, value_answer("nic2")}), 1);
    EXPECT_TRUE(config.is_pop);
    EXPECT_STREQ(config.routed_nic, "nic2");

    EXPECT_EQ(read_answers(config, {no_line, value_answer("nic3"), null_answer}), 0);
    EXPECT_FALSE(config.is_pop);
    EXPECT_STREQ(config.pop_iface, "nic3");

    EXPECT_EQ(read_answers(config, {no_line, value_answer("nic4"), value_answer("tavro,nic6")}), 0);
    EXPECT_FALSE(config.is_pop) << "is_pop stays as it was";
    EXPECT_STREQ(config.pop_iface, "nic4");
    EXPECT_STREQ(config.routed_nic, "nic6");
}
