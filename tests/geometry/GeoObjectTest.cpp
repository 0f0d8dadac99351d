#include "geometry/GeoObject.h"
#include "geometry/GeoRef.h"
#include "platform/Uuid.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <sstream>
#include <string>

namespace {

CSimpleString text(const char* s)
{
    return CSimpleString(s);
}

std::string str(const CSimpleString& s)
{
    return std::string(s.c_str(), s.text != nullptr ? s.length : 0);
}

// Reads a block the way a file reader does: the tokeniser has taken the
// word "GeoObject" before CGeoObject::read runs.
bool readBlock(CGeoObject& obj, std::istream& is)
{
    std::string word;
    is >> word;
    EXPECT_EQ(word, "GeoObject");
    return obj.read(is);
}

// Registered while static objects are constructed and unregistered while they
// are destroyed after main: the registry must exist at both times, whatever
// the order of the files' static objects.
struct StaticallyRegistered {
    CGeoObject object{CSimpleString("static-object")};
    bool added = geoRegistry()->addUnique(&object);
};
StaticallyRegistered staticallyRegistered;

} // namespace

TEST(Registry, RegistryWorksAcrossStaticInitialisationAndDestruction)
{
    EXPECT_TRUE(staticallyRegistered.added);
    EXPECT_EQ(geoRegistry()->find(CSimpleString("static-object")), &staticallyRegistered.object);
}

TEST(Hollerith, WritesLengthHAndCharacters)
{
    std::ostringstream os;
    os.width(12); // the writer sets its own width
    EXPECT_TRUE(writeHollerith(text("unknown"), os));
    EXPECT_TRUE(writeHollerith(CSimpleString(), os));
    EXPECT_EQ(os.str(), "7Hunknown0H");
}

TEST(Hollerith, RoundTripKeepsBlanksAndLineEnds)
{
    const char* samples[] = {"unknown", "two words", "line\nbreak", " lead and trail ", "x"};
    for (const char* sample : samples) {
        std::stringstream ss;
        ASSERT_TRUE(writeHollerith(text(sample), ss));
        ss << "\nnext";
        CSimpleString back;
        ASSERT_TRUE(readHollerith(back, ss)) << sample;
        EXPECT_EQ(str(back), sample);
        std::string rest;
        ss >> rest;
        EXPECT_EQ(rest, "next");
    }
}

TEST(Hollerith, EmptyStringReadsBackEmpty)
{
    std::istringstream is("0H 3Habc");
    CSimpleString s("old");
    EXPECT_TRUE(readHollerith(s, is));
    EXPECT_TRUE(s.empty());
    EXPECT_TRUE(readHollerith(s, is));
    EXPECT_EQ(str(s), "abc");
}

TEST(Hollerith, MissingHFailsAndLeavesEmptyString)
{
    std::istringstream is("7Xunknown");
    CSimpleString s("old");
    EXPECT_FALSE(readHollerith(s, is));
    EXPECT_EQ(s.text, nullptr);
    EXPECT_EQ(s.length, 0);
}

TEST(Hollerith, ReadHollerithRejectsNegativeAndHugeLengths)
{
    CSimpleString s("old");
    std::istringstream negative("-3Habc");
    EXPECT_FALSE(readHollerith(s, negative));
    EXPECT_TRUE(s.empty());

    std::istringstream huge(std::to_string(maxHollerithLength + 1L) + "Habc");
    EXPECT_FALSE(readHollerith(s, huge));
    EXPECT_TRUE(s.empty());

    std::istringstream notANumber("Habc");
    EXPECT_FALSE(readHollerith(s, notANumber));
}

TEST(Hollerith, ReadHollerithFailsCleanlyAtEndOfStream)
{
    CSimpleString s;
    std::istringstream truncated("10Habc");
    EXPECT_FALSE(readHollerith(s, truncated));
    EXPECT_TRUE(s.empty());

    // A length that promises far more than the stream holds.
    std::istringstream lying("16000000Hshort");
    EXPECT_FALSE(readHollerith(s, lying));
    EXPECT_TRUE(s.empty());

    std::istringstream nothing("");
    EXPECT_FALSE(readHollerith(s, nothing));

    std::istringstream exact("3Habc");
    EXPECT_TRUE(readHollerith(s, exact));
    EXPECT_EQ(str(s), "abc");
}

TEST(GeoObjectBlock, WritesTheFiveLines)
{
    CGeoObject obj(text("abc-1"));
    obj.name.set("unknown");
    obj.layer = 3;
    std::ostringstream os;
    EXPECT_TRUE(obj.write(os));
    EXPECT_EQ(os.str(), "GeoObject Begin\n5Habc-1\n7Hunknown\nLayer 3\nGeoObject End\n");

    std::ostringstream null;
    EXPECT_TRUE(CGeoObject::writeNull(null));
    EXPECT_EQ(null.str(), "null\n");
}

TEST(GeoObjectBlock, RoundTripRestoresIdNameAndLayer)
{
    CGeoObject source;
    source.name.set("my part\nsecond line");
    source.layer = 42;
    std::stringstream ss;
    ASSERT_TRUE(source.write(ss));
    ss << "after";

    CGeoObject target;
    ASSERT_TRUE(readBlock(target, ss));
    EXPECT_EQ(str(target.id), str(source.id));
    EXPECT_EQ(str(target.name), "my part\nsecond line");
    EXPECT_EQ(target.layer, 42);
    std::string rest;
    ss >> rest;
    EXPECT_EQ(rest, "after");
}

TEST(GeoObjectBlock, LayerLineForms)
{
    const char* blocks[] = {
        "GeoObject Begin\n2Hid\n0H\nLayer:5\nGeoObject End\n",
        "GeoObject Begin\n2Hid\n0H\nLayer=5\nGeoObject End\n",
        "GeoObject Begin\r\n2Hid\r\n0H\r\n  Layer = 5\r\nGeoObject End\r\n",
        "GeoObject Begin 2Hid 0H\nComment x\nLayer 5\nGeoObject End\n",
    };
    for (const char* block : blocks) {
        std::istringstream is(block);
        CGeoObject obj;
        EXPECT_TRUE(readBlock(obj, is)) << block;
        EXPECT_EQ(obj.layer, 5) << block;
        EXPECT_EQ(str(obj.id), "id");
    }
}

TEST(GeoObjectBlock, MissingLayerLineKeepsLayer)
{
    std::istringstream is("GeoObject Begin\n2Hid\n4Hname\nGeoObject End\n");
    CGeoObject obj;
    obj.layer = 9;
    EXPECT_TRUE(readBlock(obj, is));
    EXPECT_EQ(obj.layer, 9);
    EXPECT_EQ(str(obj.name), "name");
}

TEST(GeoObjectBlock, FirstWordOtherThanBeginFails)
{
    std::istringstream is("GeoObject Start\n2Hid\n0H\nLayer 5\nGeoObject End\n");
    CGeoObject obj;
    CSimpleString before = obj.id;
    EXPECT_FALSE(readBlock(obj, is));
    EXPECT_EQ(str(obj.id), str(before));
    EXPECT_EQ(obj.layer, -1);
    std::string next;
    is >> next;
    EXPECT_EQ(next, "2Hid"); // nothing read beyond the first word
}

TEST(GeoObjectBlock, ReadReportsBrokenBlocks)
{
    // A counted string that cannot be read, and a block without its end line,
    // are failures and not silent successes.
    std::istringstream badName("GeoObject Begin\n2Hid\n9Hshort");
    CGeoObject a;
    EXPECT_FALSE(readBlock(a, badName));

    std::istringstream noEnd("GeoObject Begin\n2Hid\n0H\nLayer 4\n");
    CGeoObject b;
    EXPECT_FALSE(readBlock(b, noEnd));
    EXPECT_EQ(b.layer, 4);
}

TEST(UniqueId, TenThousandIdsAreDistinct)
{
    std::set<std::string> ids;
    for (int i = 0; i < 10000; ++i)
        ids.insert(str(makeUniqueId()));
    EXPECT_EQ(ids.size(), 10000u);
    EXPECT_EQ(ids.begin()->size(), 36u);
}

// A file of another run holds ids this process makes later: an id read is
// not made again.
TEST(UniqueId, IdReadFromABlockIsNotMadeAgain)
{
    const std::uint64_t next = Platform::nextUuidPosition();
    std::istringstream is("GeoObject Begin\n36H" + Platform::uuidAt(next) +
                          "\n0H\nGeoObject End\n");
    CGeoObject obj(text("key"));
    ASSERT_TRUE(readBlock(obj, is));
    EXPECT_EQ(str(obj.id), Platform::uuidAt(next));
    EXPECT_EQ(str(makeUniqueId()), Platform::uuidAt(next + 1));
}

TEST(UniqueId, FallbackCountsUpWhenNoRandomIdCanBeMade)
{
    Platform::setUuidFailureForTesting(true);
    std::string first = str(makeUniqueId());
    std::string second = str(makeUniqueId());
    CGeoObject obj;
    Platform::setUuidFailureForTesting(false);

    ASSERT_EQ(first.rfind("OID=", 0), 0u) << first;
    const int k = std::stoi(first.substr(4));
    EXPECT_GE(k, 1);
    EXPECT_EQ(second, "OID=" + std::to_string(k + 1));
    EXPECT_EQ(str(obj.id), "OID=" + std::to_string(k + 2));
}

TEST(UniqueId, IdsCompareByteWise)
{
    CGeoObject ten(text("OID=10"));
    CGeoObject two(text("OID=2"));
    EXPECT_TRUE(ten.idLess(two));
    EXPECT_FALSE(two.idLess(ten));
    EXPECT_FALSE(ten.idLess(ten));

    CGeoObject empty{CSimpleString()};
    EXPECT_TRUE(empty.idLess(two));
    CGeoObject prefix(text("OID=1"));
    EXPECT_TRUE(prefix.idLess(ten));
    // Unsigned bytes: a high byte sorts after ASCII.
    CGeoObject high(text("\xE9"));
    EXPECT_TRUE(two.idLess(high));
}

TEST(Registry, AddUniqueKeepsTheFirstOfEqualIds)
{
    CGeoRef ref;
    CGeoObject first(text("same"));
    CGeoObject second(text("same"));
    EXPECT_TRUE(ref.addUnique(&first));
    EXPECT_FALSE(ref.addUnique(&second));
    EXPECT_FALSE(ref.addUnique(nullptr));
    EXPECT_EQ(ref.getCount(), 1);
    EXPECT_EQ(ref.find(text("same")), &first);
    EXPECT_EQ(ref.contains(&second), &first);
    EXPECT_EQ(ref.contains(nullptr), nullptr);
    EXPECT_EQ(ref.find(text("other")), nullptr);
    ref.remove(&first);
}

TEST(Registry, SortsIdsByteWise)
{
    CGeoRef ref;
    CGeoObject two(text("OID=2"));
    CGeoObject ten(text("OID=10"));
    CGeoObject one(text("OID=1"));
    ASSERT_TRUE(ref.addUnique(&two));
    ASSERT_TRUE(ref.addUnique(&ten));
    ASSERT_TRUE(ref.addUnique(&one));
    ASSERT_EQ(ref.getCount(), 3);
    EXPECT_EQ(ref.objects.items[0], &one);
    EXPECT_EQ(ref.objects.items[1], &ten);
    EXPECT_EQ(ref.objects.items[2], &two);
    EXPECT_EQ(ref.find(text("OID=10")), &ten);
    EXPECT_TRUE(ref.remove(&ten));
    EXPECT_EQ(ref.objects.items[1], &two);
    ref.remove(&one);
    ref.remove(&two);
}

TEST(Registry, RemoveOfEmptyIdPrintsMessage)
{
    CGeoRef ref;
    CGeoObject noId{CSimpleString()};
    testing::internal::CaptureStdout();
    EXPECT_FALSE(ref.remove(&noId));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "can not remove Object: empty ID\n");
    EXPECT_FALSE(ref.remove(nullptr));
}

TEST(Registry, AddUniqueRejectsEmptyId)
{
    // An object with an empty id could never be removed again.
    CGeoRef ref;
    CGeoObject noId{CSimpleString()};
    EXPECT_FALSE(ref.addUnique(&noId));
    EXPECT_EQ(ref.getCount(), 0);
}

TEST(Registry, DestroyedObjectLeavesTheRegistry)
{
    CGeoRef* registry = geoRegistry();
    const int before = registry->getCount();
    auto obj = std::make_unique<CGeoObject>();
    CSimpleString id = obj->id;
    ASSERT_TRUE(registry->addUnique(obj.get()));
    EXPECT_EQ(registry->find(id), obj.get());
    obj.reset();
    EXPECT_EQ(registry->find(id), nullptr);
    EXPECT_EQ(registry->getCount(), before);
}

TEST(Registry, DestroyingKeyObjectKeepsRegisteredObject)
{
    CGeoRef* registry = geoRegistry();
    CGeoObject registered;
    ASSERT_TRUE(registry->addUnique(&registered));
    {
        CGeoObject key(registered.id); // same id, another object
        EXPECT_EQ(registry->contains(&key), &registered);
    }
    EXPECT_EQ(registry->find(registered.id), &registered);
    // find builds a key object of its own; it must not unregister either.
    EXPECT_EQ(registry->find(registered.id), &registered);

    CGeoObject twin(registered.id);
    EXPECT_FALSE(registry->remove(&twin));
    EXPECT_EQ(registry->find(registered.id), &registered);
    EXPECT_TRUE(registry->remove(&registered));
    EXPECT_EQ(registry->find(registered.id), nullptr);
}

TEST(Registry, ObjectReadAfterRegistrationStillLeavesOnDestruction)
{
    CGeoRef* registry = geoRegistry();
    const int before = registry->getCount();
    CGeoObject neighbour(text("m-neighbour"));
    ASSERT_TRUE(registry->addUnique(&neighbour));
    {
        CGeoObject obj(text("a-first"));
        ASSERT_TRUE(registry->addUnique(&obj));
        // Reading a new id into a registered object moves it out of order.
        std::istringstream is("GeoObject Begin\n6Hz-last\n0H\nGeoObject End\n");
        ASSERT_TRUE(readBlock(obj, is));
    }
    EXPECT_EQ(registry->getCount(), before + 1);
    EXPECT_EQ(registry->find(text("m-neighbour")), &neighbour);
    EXPECT_TRUE(registry->remove(&neighbour));
}

TEST(Registry, CopyGetsItsOwnId)
{
    struct Derived : CGeoObject {
        Derived() = default;
        Derived(const Derived& other) = default;
    };
    Derived a;
    a.name.set("a");
    a.layer = 2;
    Derived b(a);
    EXPECT_NE(str(a.id), str(b.id));
    EXPECT_TRUE(b.name.empty());
    EXPECT_EQ(b.layer, -1);
    EXPECT_EQ(b.progress, nullptr);
}
