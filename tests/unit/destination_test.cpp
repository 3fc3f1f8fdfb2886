// Printer destinations as named: network addresses parsed or refused with
// a reason, anything else left to the platform.
#include <gtest/gtest.h>

#include "lumarin/error.hpp"
#include "printer/destination.hpp"

namespace lumarin {
namespace {

TEST(Destination, NetworkAddressesWithAndWithoutAPort)
{
    const auto plain = network_address("tcp://printer.local");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->host, "printer.local");
    EXPECT_EQ(plain->port, "9100");
    const auto ported = network_address("TCP://192.0.2.7:9101/");
    ASSERT_TRUE(ported);
    EXPECT_EQ(ported->host, "192.0.2.7");
    EXPECT_EQ(ported->port, "9101");
    const auto v6 = network_address("tcp://[2001:db8::7]:9100");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->host, "2001:db8::7");
    EXPECT_FALSE(network_address("/dev/usb/lp0"));
    EXPECT_FALSE(network_address("COM3"));
    EXPECT_FALSE(network_address("Receipt printer"));
}

TEST(Destination, AddressesThatCannotBeAreRefusedSayingWhy)
{
    const std::pair<const char*, const char*> cases[] = {
        {"tcp://", "names no host"},
        {"tcp://:9100", "names no host"},
        {"tcp://host:0", "not a number from 1 to 65535"},
        {"tcp://host:65536", "not a number from 1 to 65535"},
        {"tcp://host:91x", "not a number"},
        {"tcp://host:", "not a number"},
        {"tcp://host:09100", "not a number"},
        {"tcp://2001:db8::7", "brackets"},
        {"tcp://[2001:db8::7", "no ']'"},
        {"tcp://user@host", "'@'"},
    };
    for (const auto& [name, why] : cases) {
        try {
            network_address(name);
            ADD_FAILURE() << name << " was taken";
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::InvalidPropertyValue) << name;
            EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace lumarin
