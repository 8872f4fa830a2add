// The configuration reader against the real jq, on files written for each case.
#include "config/node_config.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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
        std::remove(path_.c_str());
        rmdir(directory_.c_str());
    }
    void write(const std::string& json) {
        FILE* file = std::fopen(path_.c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fputs(json.c_str(), file);
        std::fclose(file);
    }
    int load(NodeConfig& config) { return load_node_config(config, path_.c_str()); }

    std::string directory_;
    std::string path_;
};

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
