// The Turtle the build wrote from the unit: lv2_validate finds no error in it against the LV2
// specifications installed, and lilv reads it as the unit describes itself: the ports by symbol,
// the parameters' names, ranges and defaults, their value strings as scale points, "TX Device"
// with a fixed range and none, and the latency output.
#include "LilvHost.h"
#include "ProgramRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

using ::testing::HasSubstr;

TEST(LV2Turtle, ValidatesWithoutErrors)
{
    const std::string bundle = PLENKO_BINARY_DIR "/PlenkoOut.lv2/";
    const ProgramResult result =
        RunProgram({LV2_VALIDATE, bundle + "manifest.ttl", bundle + "PlenkoOut.ttl"});
    EXPECT_EQ(result.mExitStatus, 0) << result.mOut << result.mErr;
    EXPECT_THAT(result.mOut + result.mErr, HasSubstr("Found 0 errors")) << result.mOut;
}

struct ExpectedControl {
    const char* symbol;
    const char* name;
    float maximum;
    unsigned scalePoints;
    const char* lastLabel;
};

TEST(LV2Turtle, DescribesThePortsAsTheUnitDoes)
{
    LilvHost host;
    LilvWorld* world = host.World();
    const LilvPlugin* plugin = host.Plugin();
    EXPECT_EQ(lilv_plugin_get_num_ports(plugin), 9u);
    const ExpectedControl controls[] = {
        {"tx_device", "TX Device", 255, 0, nullptr},
        {"tx_channel", "TX Channel", 16, 17, "16"},
        {"prg_change", "Prg Change", 128, 129, "127 (B 8-8)"},
        {"bank_msb", "Bank Select MSB", 128, 129, "127 (B 8-8)"},
        {"bank_lsb", "Bank Select LSB", 128, 129, "127 (B 8-8)"},
    };
    for (const ExpectedControl& c : controls) {
        SCOPED_TRACE(c.symbol);
        LilvNode* symbol = lilv_new_string(world, c.symbol);
        const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, symbol);
        lilv_node_free(symbol);
        ASSERT_NE(port, nullptr);
        LilvNode* name = lilv_port_get_name(plugin, port);
        EXPECT_STREQ(lilv_node_as_string(name), c.name);
        lilv_node_free(name);
        LilvNode *defaultValue = nullptr, *minimum = nullptr, *maximum = nullptr;
        lilv_port_get_range(plugin, port, &defaultValue, &minimum, &maximum);
        EXPECT_EQ(lilv_node_as_float(defaultValue), 0.0f);
        EXPECT_EQ(lilv_node_as_float(minimum), 0.0f);
        EXPECT_EQ(lilv_node_as_float(maximum), c.maximum);
        lilv_nodes_free(nullptr);
        lilv_node_free(defaultValue);
        lilv_node_free(minimum);
        lilv_node_free(maximum);
        LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
        EXPECT_EQ(points != nullptr ? lilv_scale_points_size(points) : 0u, c.scalePoints);
        bool foundLast = c.lastLabel == nullptr;
        LILV_FOREACH(scale_points, i, points)
        {
            const LilvScalePoint* point = lilv_scale_points_get(points, i);
            if (lilv_node_as_float(lilv_scale_point_get_value(point)) == c.maximum)
                foundLast = std::string(lilv_node_as_string(lilv_scale_point_get_label(point))) ==
                            c.lastLabel;
        }
        EXPECT_TRUE(foundLast);
        lilv_scale_points_free(points);
    }
    EXPECT_TRUE(lilv_plugin_has_latency(plugin));
    EXPECT_EQ(lilv_plugin_get_latency_port_index(plugin), 6u);
}

} // namespace
