// The callable that setup subscribes, seen from inside: this executable builds the mod's own setup,
// destructor and log line, but puts a recording handler in place of the recipe handler, so it can see
// on which object and with which arguments the host's call arrives.
#include <gmock/gmock.h>

#include "brickwright.hpp"
#include "mod_test_support.hpp"

namespace {

struct HandlerCall {
    const Brickwright* object;
    SML::Mod::Functions::ModReturns* returns;
    SML::Objects::AFGPlayerController* controller;
};
std::vector<HandlerCall> handlerCalls;

} // namespace

const SML::Mod::Mod::Info modInfo{
    "1.0.0-pr7", kModName, "0.1", "A Mod that adds Brickwright.", "tessavoren, quillmark", {}};
nlohmann::json modConfig;

void Brickwright::onPlayerControllerBeginPlay(SML::Mod::Functions::ModReturns* returns,
                                              SML::Objects::AFGPlayerController* controller) {
    handlerCalls.push_back({this, returns, controller});
}

namespace {

using modtest::append;
using modtest::logLineEntries;
using ::testing::ElementsAreArray;

class SubscribedCallable : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(standin::openLogFile(scratch.path() / "host.log"));
        handlerCalls.clear();
        standin::clearSubscriptions();
        standin::startJournal();
    }
    void TearDown() override {
        standin::stopJournal();
        standin::clearSubscriptions();
        standin::closeLogFile();
    }

    modtest::ScratchDirectory scratch;
};

TEST_F(SubscribedCallable, CallsTheHandlerOnTheVeryObjectSetupRanOnWithItsArgumentsInOrder) {
    SML::Mod::Mod* first = ModCreate();
    SML::Mod::Mod* second = ModCreate();
    standin::setupMod(second);
    standin::setupMod(first);

    alignas(16) unsigned char record[16] = {};
    auto* returns = reinterpret_cast<SML::Mod::Functions::ModReturns*>(record);
    SML::Objects::AFGPlayerController controller;
    standin::invokeBeginPlayHandlers(returns, &controller);

    ASSERT_EQ(handlerCalls.size(), 2u);
    EXPECT_EQ(handlerCalls[0].object, static_cast<Brickwright*>(second));
    EXPECT_EQ(handlerCalls[1].object, static_cast<Brickwright*>(first));
    for (const HandlerCall& call : handlerCalls) {
        EXPECT_EQ(call.returns, returns);
        EXPECT_EQ(call.controller, &controller);
    }

    // The host's own BeginPlay hands over its record and the controller itself.
    handlerCalls.clear();
    standin::destroyMod(second);
    standin::fireBeginPlay(&controller);
    ASSERT_EQ(handlerCalls.size(), 1u);
    EXPECT_EQ(handlerCalls[0].object, static_cast<Brickwright*>(first));
    EXPECT_NE(handlerCalls[0].returns, nullptr);
    EXPECT_EQ(handlerCalls[0].controller, &controller);
    standin::destroyMod(first);
}

// This executable carries no engine instructions: the scan finds neither table, and setup says so
// before its finish line instead of pretending all is well.
TEST_F(SubscribedCallable, SetupReportsEngineTablesItCouldNotFindBeforeItsFinishLine) {
    SML::Mod::Mod* mod = ModCreate();
    standin::clearJournal();
    standin::setupMod(mod);
    std::vector<std::string> expected{"setup"};
    append(expected, logLineEntries("Brickwright could not find the engine's name table",
                                    SML::Utility::LogType::Warning));
    append(expected, logLineEntries("Brickwright could not find the engine's object table",
                                    SML::Utility::LogType::Warning));
    expected.push_back("subscribe");
    append(expected, logLineEntries("Finished Brickwright setup!"));
    EXPECT_THAT(standin::journal(), ElementsAreArray(expected));
    standin::destroyMod(mod);
}

} // namespace
