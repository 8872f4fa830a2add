// The configuration reader against the real jq, on files written for each case.
#include "config/config_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/config_memory.h"

namespace {

class NodeConfigFile : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/uplinkwatch-config-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
        path_ = directory_ + "/node_config.json";
    }
    void TearDown() override {
        if (!saved_path_.empty()) setenv("PATH", saved_path_.c_str(), 1);
        for (const char* name : {"jq", "runs", "edited", "next.json"}) std::remove((directory_ + "/" + name).c_str());
        std::remove(path_.c_str());
        rmdir(directory_.c_str());
        memory_.held = false;
    }
    void write(const std::string& json, const std::string& path = "") {
        FILE* file = std::fopen((path.empty() ? path_ : path).c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fputs(json.c_str(), file);
        std::fclose(file);
    }
    // Puts first on the PATH a jq that counts its runs and, on its first run only,
    // writes `edit` over the configuration before the real jq reads it.
    void jq_that_edits_first(const std::string& edit) {
        write(edit, directory_ + "/next.json");
        const std::string jq = directory_ + "/jq";
        write("#!/bin/sh\necho run >> " + directory_ + "/runs\nif [ ! -e " + directory_ + "/edited ]; then : > " +
                  directory_ + "/edited; cp " + directory_ + "/next.json " + path_ + "; fi\nexec /usr/bin/jq \"$@\"\n",
              jq);
        ASSERT_EQ(chmod(jq.c_str(), 0755), 0);
        saved_path_ = std::getenv("PATH");
        setenv("PATH", (directory_ + ":" + saved_path_).c_str(), 1);
    }
    int jq_runs() const {
        int runs = 0;
        FILE* file = std::fopen((directory_ + "/runs").c_str(), "r");
        if (file == nullptr) return 0;
        for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) runs += c == '\n';
        std::fclose(file);
        return runs;
    }
    int load(NodeConfig& config) { return reload_node_config(config, memory_, path_.c_str()); }

    std::string directory_;
    std::string path_;
    std::string saved_path_;
    static ConfigMemory memory_;
};

ConfigMemory NodeConfigFile::memory_;

std::string pop_config(const std::string& addr, const std::string& iface, const std::string& prefixes) {
    return R"({"popParams": {"POP_ADDR": )" + addr + R"(, "POP_IFACE": )" + iface +
           R"(}, "envParams": {"OPENR_IFACE_PREFIXES": )" + prefixes + "}}";
}

}  // namespace

TEST_F(NodeConfigFile, APopKeepsItsInterfaceAndTheLastNicPrefix) {
    NodeConfig config;
    write(pop_config(R"("2001:db8::1")", R"("nic0")", R"("tavro,nic1")"));
    EXPECT_EQ(load(config), 1);
    EXPECT_TRUE(config.is_pop);
    EXPECT_STREQ(config.pop_iface, "nic0");
    EXPECT_STREQ(config.routed_nic, "nic1");

    write(pop_config(R"("2001:db8::1")", R"("nic0")", R"("nic0,tavro,nic2")"));
    EXPECT_EQ(load(config), 1);
    EXPECT_STREQ(config.routed_nic, "nic2");

    write(pop_config(R"("2001:db8::1")", R"("nic0")", R"("tavro,,eth")"));
    EXPECT_EQ(load(config), 1);
    EXPECT_STREQ(config.routed_nic, "");
}

TEST_F(NodeConfigFile, LongValuesAreCutTo15Characters) {
    NodeConfig config;
    write(pop_config(R"("a")", R"("abcdefghijklmnopqrstuvwxyz")", R"("tavro,nicabcdefghijklmnopq")"));
    EXPECT_EQ(load(config), 1);
    EXPECT_STREQ(config.pop_iface, "abcdefghijklmno");
    EXPECT_STREQ(config.routed_nic, "nicabcdefghijkl");
}

TEST_F(NodeConfigFile, ANullOrEmptyAddressMakesTheNodeAPlainNode) {
    NodeConfig config;
    write(pop_config(R"("2001:db8::1")", R"("nic0")", R"("nic1")"));
    ASSERT_EQ(load(config), 1);

    for (const char* address : {"null", R"("")", R"("nullish")"}) {
        config.is_pop = true;
        write(pop_config(address, R"("nic5")", R"("nic6")"));
        EXPECT_EQ(load(config), 0) << address;
        EXPECT_FALSE(config.is_pop) << address;
        EXPECT_STREQ(config.pop_iface, "nic0") << "not read after the address";
        EXPECT_STREQ(config.routed_nic, "nic1");
    }

    // A configuration without the POP keys at all reads as null.
    config.is_pop = true;
    write(R"({"envParams": {"OPENR_IFACE_PREFIXES": "nic7"}})");
    EXPECT_EQ(load(config), 0);
    EXPECT_FALSE(config.is_pop);
}

TEST_F(NodeConfigFile, AnAddressWithoutAnInterfaceIsNotAPop) {
    NodeConfig config;
    write(pop_config(R"("2001:db8::1")", R"("nic0")", R"("nic1")"));
    ASSERT_EQ(load(config), 1);
    write(pop_config(R"("2001:db8::1")", "null", R"("nic6")"));
    EXPECT_EQ(load(config), 0);
    EXPECT_FALSE(config.is_pop);
    EXPECT_STREQ(config.pop_iface, "nic0");
    EXPECT_STREQ(config.routed_nic, "nic1");
}

TEST_F(NodeConfigFile, ANullOrUnreadablePrefixListKeepsTheRoutedNic) {
    NodeConfig config;
    write(pop_config(R"("2001:db8::1")", R"("nic0")", R"("nic1")"));
    ASSERT_EQ(load(config), 1);
    write(pop_config(R"("2001:db8::1")", R"("nic2")", "null"));
    EXPECT_EQ(load(config), 1);
    EXPECT_STREQ(config.pop_iface, "nic2");
    EXPECT_STREQ(config.routed_nic, "nic1");

    // jq cannot index a string, so the prefix list gives no line at all.
    write(R"({"popParams": {"POP_ADDR": "a", "POP_IFACE": "nic3"}, "envParams": "oops"})");
    EXPECT_EQ(load(config), 1);
    EXPECT_STREQ(config.pop_iface, "nic3");
    EXPECT_STREQ(config.routed_nic, "nic1");
}

TEST_F(NodeConfigFile, AMissingOrMalformedFileLeavesTheStateAsItWas) {
    NodeConfig config;
    write(pop_config(R"("2001:db8::1")", R"("nic0")", R"("nic1")"));
    ASSERT_EQ(load(config), 1);
    std::remove(path_.c_str());
    EXPECT_EQ(load(config), 1);
    EXPECT_TRUE(config.is_pop);
    EXPECT_STREQ(config.pop_iface, "nic0");
    EXPECT_STREQ(config.routed_nic, "nic1");

    write(R"({"popParams": {"POP_ADDR": )");
    EXPECT_EQ(load(config), 1);
    EXPECT_TRUE(config.is_pop);

    NodeConfig plain;
    EXPECT_EQ(load(plain), 0);
    EXPECT_FALSE(plain.is_pop);
}

TEST_F(NodeConfigFile, AFileEditedWhileJqRunsIsNotRemembered) {
    const std::string plain = pop_config("null", R"("nic0")", R"("nic1")");
    write(plain);
    jq_that_edits_first(pop_config(R"("2001:db8::1")", R"("nic0")", R"("nic1")"));
    NodeConfig config;
    EXPECT_EQ(load_node_config(config, memory_, path_.c_str()), 1) << "jq read the POP file";
    EXPECT_EQ(jq_runs(), 3);

    // Back to the bytes read before that run: they are asked about, not taken for
    // the POP that jq saw.
    write(plain);
    EXPECT_EQ(load_node_config(config, memory_, path_.c_str()), 0);
    EXPECT_FALSE(config.is_pop);
    EXPECT_EQ(jq_runs(), 4);
    // That read was clean, so the same bytes cost no run from now on.
    config.is_pop = true;
    EXPECT_EQ(load_node_config(config, memory_, path_.c_str()), 0);
    EXPECT_FALSE(config.is_pop) << "the remembered answers are applied again";
    EXPECT_EQ(jq_runs(), 4);
    // A refresh asks jq all the same.
    EXPECT_EQ(reload_node_config(config, memory_, path_.c_str()), 0);
    EXPECT_EQ(jq_runs(), 5);
}

namespace {

ConfigAnswers answered(std::initializer_list<const char*> lines) {
    ConfigAnswers answers;
    for (const char* line : lines) {
        std::snprintf(answers.lines[answers.asked], answer_size, "%s", line);
        answers.got_line[answers.asked++] = true;
    }
    return answers;
}

ConfigMemory memory;  // two megabytes: not on the stack

}  // namespace

TEST(ConfigMemory, ACleanReadIsReusedForTheSameBytesOnly) {
    const ConfigAnswers pop = answered({"2001:db8::1", "nic0", "tavro,nic1"});
    remember_config_read(memory, "{\"a\": 1}", true, false, pop);
    const ConfigAnswers* known = recall_config_answers(memory, "{\"a\": 1}");
    ASSERT_NE(known, nullptr);
    NodeConfig config;
    EXPECT_EQ(apply_config_answers(config, *known), 1);
    EXPECT_STREQ(config.pop_iface, "nic0");
    EXPECT_STREQ(config.routed_nic, "nic1");

    for (const char* other : {"{\"a\": 2}", "{\"a\": 1} ", "{\"a\": ", ""}) {
        EXPECT_EQ(recall_config_answers(memory, other), nullptr) << other;
    }
}

TEST(ConfigMemory, AnUncleanReadIsNeverReusedButKnownUncleanWhileTheFileStaysAsItWas) {
    const std::string_view bytes = "{}";
    ConfigAnswers missing_line = answered({"2001:db8::1"});
    missing_line.asked = 2;  // the second key gave no line
    ConfigAnswers failed_jq = answered({"null"});
    failed_jq.exited_zero = false;
    for (const ConfigAnswers& unclean : {missing_line, failed_jq, ConfigAnswers{}}) {
        remember_config_read(memory, bytes, true, false, answered({"null"}));
        ASSERT_NE(recall_config_answers(memory, bytes), nullptr);
        EXPECT_FALSE(still_unclean(memory, bytes, false)) << "a clean read is no unclean one";
        remember_config_read(memory, bytes, true, false, unclean);
        EXPECT_EQ(recall_config_answers(memory, bytes), nullptr);
        EXPECT_TRUE(still_unclean(memory, bytes, false));
        EXPECT_FALSE(still_unclean(memory, "{ }", false)) << "other bytes";
        EXPECT_FALSE(still_unclean(memory, "", true)) << "the file gone since";
    }
    // Clean answers, but the file changed while jq ran.
    remember_config_read(memory, bytes, false, false, answered({"null"}));
    EXPECT_EQ(recall_config_answers(memory, bytes), nullptr);
    EXPECT_FALSE(still_unclean(memory, bytes, false));

    // No file before jq ran nor after: unclean, while it stays missing.
    remember_config_read(memory, "", true, true, ConfigAnswers{});
    EXPECT_TRUE(still_unclean(memory, "", true));
    EXPECT_FALSE(still_unclean(memory, "", false)) << "an empty file has come";
    EXPECT_EQ(recall_config_answers(memory, ""), nullptr);
}
