#include "tests/unit/test_support.h"

#include "config/config.h"

namespace {

class Expansion : public LauncherTest {
protected:
    void SetUp() override {
        LauncherTest::SetUp();
        fake::state.environment = {{"JAVA_HOME", "C:\\jdk1.8"},
                                   {"APP", "C:\\apps\\demo"},
                                   {"APPT", "C:\\apps\\demo\\"},
                                   {"APPS", "C:\\Program Files\\Demo"},
                                   {"TEMP", "C:\\Temp"}};
    }
};

struct ExpandCase {
    const char *text;
    int flag;
    const char *expected;
};

class ExpandValue : public Expansion, public ::testing::WithParamInterface<ExpandCase> {};

TEST_P(ExpandValue, ReplacesReferencesAsWritten) {
    const ExpandCase &c = GetParam();
    EXPECT_EQ(parsePath(c.text, c.flag), c.expected) << c.text << " flag " << c.flag;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ExpandValue,
    ::testing::Values(
        ExpandCase{"$JAVA_HOME\\bin\\java.exe", 1, "C:/jdk1.8/bin/java.exe"},
        ExpandCase{"$APPT/lib", 0, "C:/apps/demo/lib"}, ExpandCase{"$APPT", 0, "C:/apps/demo/"},
        ExpandCase{"$APPS/lib", 1, "\"C:/Program Files/Demo/lib\""},
        ExpandCase{"$APPS/lib", 0, "C:/Program Files/Demo/lib"},
        ExpandCase{"-Dapp.home=$APPS", 0, "-Dapp.home=\"C:/Program Files/Demo\""},
        ExpandCase{"-javaagent:$APPS/agent.jar", 1,
                   "\"-javaagent:C:/Program Files/Demo/agent.jar\""},
        ExpandCase{"cp:$APPS/a=b", 1, "cp:\"C:/Program Files/Demo/a=b\""},
        ExpandCase{"$APP/$TEMP", 0, "C:/apps/demo/C:/Temp"},
        ExpandCase{"$APP/$TEMP/$JAVA_HOME", 0, "C:/apps/demo/C:/Temp/C:/jdk1.8"},
        ExpandCase{"$APP/$NOPE/x", 0, "C:/apps/demo/$NOPE/x"},
        ExpandCase{"$NOPE\\x", 1, "$NOPE\\x"}, ExpandCase{"$NOPE/$APP", 1, "$NOPE/$APP"},
        ExpandCase{"$APP/x\\y", 1, "$APP/x\\y"},
        ExpandCase{"$PATH;C:\\tools", 1, "$PATH;C:\\tools"}, ExpandCase{"$A-$B", 1, "$A-$B"},
        ExpandCase{"com.acme.Main$Inner", 0, "com.acme.Main$Inner"},
        ExpandCase{"C:\\dir\\file", 1, "C:\\dir\\file"}, ExpandCase{"", 1, ""},
        ExpandCase{"$APP\\", 0, "C:/apps/demo/"}, ExpandCase{"x=$APP", 0, "x=C:/apps/demo"},
        /* A quote that ends a name stays, so the quotes stay balanced. */
        ExpandCase{"\"-Dpid=$pid\"", 1, "\"-Dpid=4242\""},
        ExpandCase{"-Dpid=$pid", 1, "-Dpid=4242"},
        ExpandCase{"-Dx=\"$TEMP\"", 1, "-Dx=\"C:/Temp\""},
        ExpandCase{"$APPS/$TEMP", 1, "\"C:/Program Files/Demo/C:/Temp\""},
        ExpandCase{"\"$APP\" \"$TEMP\"", 0, "\"C:/apps/demo\" \"C:/Temp\""},
        ExpandCase{"$PID", 0, "$PID"},
        /* Written quotes around a reference are not doubled. */
        ExpandCase{"-Dx=\"$APPS\"", 1, "-Dx=\"C:/Program Files/Demo\""},
        ExpandCase{"\"$APPS/lib\"", 1, "\"C:/Program Files/Demo/lib\""},
        ExpandCase{"$APPS/$APPS", 1, "\"C:/Program Files/Demo/C:/Program Files/Demo\""}));

TEST_F(Expansion, NullGivesEmptyAndSlashesTurnInPlace) {
    EXPECT_EQ(parsePath(nullptr, 1), "");
    char text[] = "a\\b\\\\c/d";
    exchangeSlashes(text);
    EXPECT_STREQ(text, "a/b//c/d");
    exchangeSlashes(nullptr);
}

TEST_F(Expansion, AnEnvironmentVariableNamedPidWins) {
    fake::state.environment["PID"] = "env";
    EXPECT_EQ(parsePath("$pid", 0), "env");
}

TEST_F(Expansion, ValuesBringingReferencesAreExpandedAgain) {
    fake::state.environment["OUTER"] = "$APP\\lib";
    EXPECT_EQ(parsePath("$OUTER", 0), "C:/apps/demo/lib");
}

TEST_F(Expansion, SelfReferenceStopsAtTheBound) {
    fake::state.environment["LOOP"] = "$LOOP";
    EXPECT_EQ(parsePath("$LOOP", 0), "$LOOP");
    fake::state.environment["GROW"] = "x$GROW";
    std::string grown = parsePath("$GROW", 0);
    EXPECT_LE(grown.size(), 2047u);
    EXPECT_EQ(grown.substr(grown.size() - 5), "$GROW");
}

TEST_F(Expansion, TextsTooLongForTheirBuffersStayAsWritten) {
    std::string longName = "$" + std::string(1024, 'N');
    fake::state.environment[std::string(1024, 'N')] = "value";
    EXPECT_EQ(parsePath(longName.c_str(), 0), longName);
    std::string fits = "$" + std::string(1023, 'M');
    fake::state.environment[std::string(1023, 'M')] = "value";
    EXPECT_EQ(parsePath(fits.c_str(), 0), "value");

    fake::state.environment["BIG"] = std::string(2040, 'b');
    EXPECT_EQ(parsePath("12345678$BIG", 0), "12345678$BIG");
    EXPECT_EQ(parsePath("1234567$BIG", 0), "1234567" + std::string(2040, 'b'));
}

TEST_F(Expansion, DebugTrailOfOnePass) {
    settings._debug = 1;
    parsePath("$APP\\x", 0);
    parsePath("$NOPE", 0);
    std::vector<std::string> captions = {"Found variable", "Parse Path", "Found variable",
                                         "Can't find variable"};
    EXPECT_EQ(fake::boxCaptions(), captions);
    EXPECT_EQ(fake::state.boxes[0].text, "APP");
    EXPECT_EQ(fake::state.boxes[1].text, "arg [$APP\\x] expanded to [C:\\apps\\demo\\x]\n");
}

} // namespace
