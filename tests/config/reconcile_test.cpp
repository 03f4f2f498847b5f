// reconcileConfig: defaults added, unfit values replaced, objects descended into, strays removed.
#include "config/config.hpp"

#include "json_assertions.hpp"

#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <vector>

namespace {

using json = nlohmann::json;
using configtest::describe;
using configtest::Identical;

json parse(const char* text) {
    return json::parse(text);
}

// Reconciles and checks the result, exactly, including the number types.
void expectReconciled(const json& loaded, const json& defaults, const json& expected) {
    SCOPED_TRACE("loaded " + describe(loaded) + " under defaults " + describe(defaults));
    const json result = reconcileConfig(loaded, defaults);
    EXPECT_PRED_FORMAT2(Identical, expected, result);
}

// Reconciles and checks that the library's own type error comes out, id and text.
void expectTypeError(const json& loaded, const json& defaults, int id, const std::string& message) {
    SCOPED_TRACE("loaded " + describe(loaded) + " under defaults " + describe(defaults));
    try {
        const json result = reconcileConfig(loaded, defaults);
        ADD_FAILURE() << "no type error, the result is " << describe(result);
    } catch (const json::type_error& e) {
        EXPECT_EQ(e.id, id);
        EXPECT_STREQ(e.what(), message.c_str());
    }
}

const std::string kErase = "[json.exception.type_error.307] cannot use erase() with ";
const std::string kIndex =
    "[json.exception.type_error.305] cannot use operator[] with a string argument with ";

TEST(Reconcile, DefaultsWithoutEntriesKeepNullAndEmptyContainersAndEmptyEveryObject) {
    for (const json& defaults : {json(), json::object(), json::array()}) {
        expectReconciled(json(), defaults, json());
        expectReconciled(parse(R"({"a": 1, "b": {"c": [1, 2]}, "$d": "x"})"), defaults, json::object());
        expectReconciled(json::object(), defaults, json::object());
        expectReconciled(json::array(), defaults, json::array());
    }
}

TEST(Reconcile, DefaultsWithoutEntriesRaiseTypeError307ForNonEmptyArraysAndScalars) {
    for (const json& defaults : {json(), json::object(), json::array()}) {
        expectTypeError(parse("[1, 2]"), defaults, 307, kErase + "array");
        expectTypeError(parse("[null]"), defaults, 307, kErase + "array");
        expectTypeError(json("text"), defaults, 307, kErase + "string");
        expectTypeError(json(""), defaults, 307, kErase + "string");
        expectTypeError(parse("5"), defaults, 307, kErase + "number");
        expectTypeError(json(-5), defaults, 307, kErase + "number");
        expectTypeError(json(2.5), defaults, 307, kErase + "number");
        expectTypeError(json(true), defaults, 307, kErase + "boolean");
        expectTypeError(json(false), defaults, 307, kErase + "boolean");
    }
}

TEST(Reconcile, NullLoadedUnderObjectDefaultsBecomesACopyOfTheDefaults) {
    const json defaults = parse(R"({"a": 1, "b": {"c": true, "d": [1, {"e": null}]}, "$f": -2.5})");
    expectReconciled(json(), defaults, defaults);
    expectReconciled(json::object(), defaults, defaults);
}

TEST(Reconcile, NestedMembersAreCheckedAddedAndRemovedAtEveryLevel) {
    expectReconciled(parse(R"({"a": 7.5, "b": {"c": false, "x": 1}, "z": 0})"),
                     parse(R"({"a": 1, "b": {"c": true}})"), parse(R"({"a": 1, "b": {"c": false}})"));
    expectReconciled(parse(R"({"outer": {"inner": {"keep": "mine", "drop": 1}}, "extra": []})"),
                     parse(R"({"outer": {"inner": {"keep": "", "add": [0]}, "new": 2}})"),
                     parse(R"({"outer": {"inner": {"add": [0], "keep": "mine"}, "new": 2}})"));
}

TEST(Reconcile, NumbersThatFitKeepTheirOwnRepresentation) {
    // An integer under a floating-point default stays an integer, of its own kind.
    expectReconciled(parse(R"({"f": 3})"), parse(R"({"f": 0.5})"), json{{"f", 3u}});
    expectReconciled(json{{"f", -3}}, parse(R"({"f": 0.5})"), json{{"f", -3}});
    expectReconciled(json{{"f", 0.25}}, parse(R"({"f": 0.5})"), json{{"f", 0.25}});
    // Either integer kind stands for the other.
    expectReconciled(parse(R"({"n": 4})"), json{{"n", -1}}, json{{"n", 4u}});
    expectReconciled(json{{"n", -4}}, json{{"n", 1u}}, json{{"n", -4}});
    expectReconciled(parse(R"({"n": 18446744073709551615})"), json{{"n", 0}},
                     json{{"n", 18446744073709551615u}});
}

TEST(Reconcile, FloatsUnderIntegerDefaultsAreReplacedEvenWhenWhole) {
    expectReconciled(parse(R"({"n": 2.0})"), json{{"n", 1}}, json{{"n", 1}});
    expectReconciled(parse(R"({"n": 7.5})"), json{{"n", 1u}}, json{{"n", 1u}});
    // A literal too large for 64 bits is read as a float, and no integer default takes it.
    expectReconciled(parse(R"({"n": 18446744073709551616})"), json{{"n", 1u}}, json{{"n", 1u}});
}

TEST(Reconcile, ArraysAreKeptOrReplacedWholeNeverElementByElement) {
    const json defaults = parse(R"({"list": [1, 2]})");
    expectReconciled(parse(R"({"list": ["x"]})"), defaults, parse(R"({"list": ["x"]})"));
    expectReconciled(parse(R"({"list": []})"), defaults, parse(R"({"list": []})"));
    expectReconciled(parse(R"({"list": [{"deep": 1}, null]})"), defaults,
                     parse(R"({"list": [{"deep": 1}, null]})"));
    expectReconciled(parse(R"({"list": 5})"), defaults, parse(R"({"list": [1, 2]})"));
    expectReconciled(parse(R"({"list": {"0": 1, "1": 2}})"), defaults, parse(R"({"list": [1, 2]})"));
}

TEST(Reconcile, ValuesOfAnyOtherTypeAreReplacedByTheDefaultUnlessTheTypesMatch) {
    expectReconciled(parse(R"({"s": 1})"), parse(R"({"s": "a"})"), parse(R"({"s": "a"})"));
    expectReconciled(parse(R"({"s": "b"})"), parse(R"({"s": "a"})"), parse(R"({"s": "b"})"));
    expectReconciled(parse(R"({"b": "yes"})"), parse(R"({"b": true})"), parse(R"({"b": true})"));
    expectReconciled(parse(R"({"b": false})"), parse(R"({"b": true})"), parse(R"({"b": false})"));
    expectReconciled(parse(R"({"i": true})"), parse(R"({"i": 1})"), parse(R"({"i": 1})"));
    expectReconciled(parse(R"({"f": "0.5"})"), parse(R"({"f": 0.5})"), parse(R"({"f": 0.5})"));
    // Replaced, not descended into, then descended into.
    expectReconciled(parse(R"({"o": 5})"), parse(R"({"o": {"k": 1}})"), parse(R"({"o": {"k": 1}})"));
    expectReconciled(parse(R"({"o": [{"k": 2}]})"), parse(R"({"o": {"k": 1}})"), parse(R"({"o": {"k": 1}})"));
    expectReconciled(parse(R"({"o": {}})"), parse(R"({"o": {"k": 1}})"), parse(R"({"o": {"k": 1}})"));
    expectReconciled(parse(R"({"o": {"k": 2}})"), parse(R"({"o": {"k": 1}})"), parse(R"({"o": {"k": 2}})"));
}

TEST(Reconcile, NullDefaultsReplaceEveryLoadedValueThatIsNotNull) {
    const json defaults = parse(R"({"x": null})");
    for (const char* loaded : {R"({"x": 5})", R"({"x": "s"})", R"({"x": {"a": 1}})", R"({"x": [1]})",
                               R"({"x": false})", R"({"x": null})", R"({})"}) {
        expectReconciled(parse(loaded), defaults, defaults);
    }
}

TEST(Reconcile, DollarKeysKeepAnyLoadedTypeButAreStillAddedAndRemoved) {
    const json defaults = parse(R"({"$any": 0})");
    expectReconciled(parse(R"({"$any": "text"})"), defaults, parse(R"({"$any": "text"})"));
    expectReconciled(parse(R"({"$any": [1, {"x": 2}]})"), defaults, parse(R"({"$any": [1, {"x": 2}]})"));
    expectReconciled(parse(R"({"$any": 2.5})"), defaults, parse(R"({"$any": 2.5})"));
    expectReconciled(parse(R"({})"), defaults, parse(R"({"$any": 0})"));
    expectReconciled(parse(R"({"$other": 1})"), defaults, parse(R"({"$any": 0})"));
    // A lone "$" is a dollar key; the empty key is not.
    expectReconciled(parse(R"({"$": "s"})"), parse(R"({"$": 1})"), parse(R"({"$": "s"})"));
    expectReconciled(parse(R"({"": "s"})"), parse(R"({"": 1})"), parse(R"({"": 1})"));
    // An object default reconciles the member whatever its loaded type.
    const json objectDefaults = parse(R"({"$o": {"k": 1}})");
    expectReconciled(parse(R"({"$o": null})"), objectDefaults, parse(R"({"$o": {"k": 1}})"));
    expectReconciled(parse(R"({"$o": {"k": "s", "x": 1}})"), objectDefaults, parse(R"({"$o": {"k": 1}})"));
    expectReconciled(parse(R"({"$o": {"k": 9, "x": 1}})"), objectDefaults, parse(R"({"$o": {"k": 9}})"));
    expectReconciled(parse(R"({"$e": {"x": 1}})"), parse(R"({"$e": {}})"), parse(R"({"$e": {}})"));
    expectReconciled(parse(R"({"$e": []})"), parse(R"({"$e": {}})"), parse(R"({"$e": []})"));
}

TEST(Reconcile, DollarKeysOverObjectDefaultsRaiseTheLibrarysTypeErrorsForScalarsAndArrays) {
    expectTypeError(parse(R"({"$o": 5})"), parse(R"({"$o": {"k": 1}})"), 305, kIndex + "number");
    expectTypeError(parse(R"({"$o": [1]})"), parse(R"({"$o": {"k": 1}})"), 305, kIndex + "array");
    expectTypeError(parse(R"({"$o": "s"})"), parse(R"({"$e": {}, "$o": {"k": 1}})"), 305, kIndex + "string");
    expectTypeError(parse(R"({"$e": "s"})"), parse(R"({"$e": {}})"), 307, kErase + "string");
    expectTypeError(parse(R"({"$e": [1]})"), parse(R"({"$e": {}})"), 307, kErase + "array");
    expectTypeError(parse(R"({"$e": true})"), parse(R"({"$e": {}})"), 307, kErase + "boolean");
}

TEST(Reconcile, DefaultsWithEntriesRaiseTypeError305ForLoadedArraysAndScalars) {
    const json defaults = parse(R"({"a": 1})");
    expectTypeError(parse("[1]"), defaults, 305, kIndex + "array");
    expectTypeError(json::array(), defaults, 305, kIndex + "array");
    expectTypeError(json("s"), defaults, 305, kIndex + "string");
    expectTypeError(json(3), defaults, 305, kIndex + "number");
    expectTypeError(json(3.5), defaults, 305, kIndex + "number");
    expectTypeError(json(false), defaults, 305, kIndex + "boolean");
}

TEST(Reconcile, DefaultsThatAreNotObjectsLeaveAnEmptyObjectOrRaiseTypeError305) {
    // Array defaults: the entries "0" and "1" are added, then removed, as no key is a member of an array.
    const json array = parse("[1, 2]");
    expectReconciled(json(), array, json::object());
    expectReconciled(parse(R"({"0": 1, "x": 2})"), array, json::object());
    expectTypeError(parse("[5]"), array, 305, kIndex + "array");
    expectTypeError(json::array(), array, 305, kIndex + "array");
    expectTypeError(json("s"), array, 305, kIndex + "string");
    // A scalar default has one entry, under the empty key.
    const json scalar = json(5);
    expectReconciled(json(), scalar, json::object());
    expectReconciled(parse(R"({"": 1, "a": 1})"), scalar, json::object());
    expectTypeError(json(3), scalar, 305, kIndex + "number");
    expectTypeError(json(true), json("s"), 305, kIndex + "boolean");
    expectTypeError(parse("[1]"), json(0.5), 305, kIndex + "array");
}

TEST(Reconcile, TheCallersDocumentsAreLeftAsTheyWereWhetherItSucceedsOrRaises) {
    const json loaded = parse(R"({"a": 7.5, "b": {"c": false, "x": 1}, "$o": {"k": "s"}, "z": 0})");
    const json defaults = parse(R"({"a": 1, "b": {"c": true}, "$o": {"k": 1, "n": null}, "new": [1]})");
    const json loadedBefore = loaded;
    const json defaultsBefore = defaults;
    const json result = reconcileConfig(loaded, defaults);
    EXPECT_PRED_FORMAT2(
        Identical, parse(R"({"a": 1, "b": {"c": false}, "$o": {"k": 1, "n": null}, "new": [1]})"), result);
    EXPECT_PRED_FORMAT2(Identical, loadedBefore, loaded);
    EXPECT_PRED_FORMAT2(Identical, defaultsBefore, defaults);

    const json failing = parse(R"({"$o": 5, "a": 2})");
    const json failingBefore = failing;
    EXPECT_THROW(reconcileConfig(failing, defaults), json::type_error);
    EXPECT_PRED_FORMAT2(Identical, failingBefore, failing);
    EXPECT_PRED_FORMAT2(Identical, defaultsBefore, defaults);
}

TEST(Reconcile, ReconcilingAResultAgainChangesNothing) {
    const json defaults =
        parse(R"({"a": 1, "b": {"c": true, "$d": {"e": 0.5}}, "$f": 0, "g": [1], "h": null})");
    const std::vector<json> loads = {
        json(), json::object(), parse(R"({"a": 2.0, "b": {"c": 1, "$d": null, "x": 1}, "$f": "s", "g": {}})"),
        parse(R"({"a": 3, "b": {"$d": {"e": 4, "f": 1}}, "g": ["x"], "h": 1})")};
    for (const json& loaded : loads) {
        const json once = reconcileConfig(loaded, defaults);
        EXPECT_PRED_FORMAT2(Identical, once, reconcileConfig(once, defaults));
    }
}

TEST(Reconcile, ARefusalNamesTheValueWhereReconcilingStoppedAndRaisesTheSameErrorAsReconcileConfig) {
    const json defaults = parse(R"({"$a": {"k": 1}, "$b": {"k": 1}, "n": {"$d": {}}, "z": 0})");
    struct Case {
        const char* loaded;
        std::vector<std::string> at; // empty with refused false: no refusal
        bool refused;
    };
    const Case cases[] = {
        // A null "$a" takes its entries; the walk goes on to "$b", which cannot.
        {R"({"$a": null, "$b": 5})", {"$b"}, true},
        {R"({"$a": [1], "$b": 5})", {"$a"}, true},
        {R"({"n": {"$d": "x"}})", {"n", "$d"}, true},
        {R"({"n": {"$d": []}})", {}, false},
        {R"([1])", {}, true},
        {R"("text")", {}, true},
        {R"({"$a": null, "n": {"$d": null}})", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.loaded);
        const json loaded = parse(c.loaded);
        const brickwright::Reconciliation result = brickwright::reconcileOrRefuse(loaded, defaults);
        EXPECT_EQ(result.refusedAt, c.at);
        std::string raised = "nothing";
        try {
            const json expected = reconcileConfig(loaded, defaults);
            EXPECT_PRED_FORMAT2(Identical, expected, result.document);
        } catch (const json::type_error& error) {
            raised = error.what();
        }
        ASSERT_EQ(result.refusal != nullptr, c.refused);
        if (result.refusal) {
            EXPECT_TRUE(result.document.is_null());
            try {
                std::rethrow_exception(result.refusal);
            } catch (const json::type_error& error) {
                EXPECT_EQ(error.what(), raised);
            }
        }
    }
}

} // namespace
