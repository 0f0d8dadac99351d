#include "platform/on/OpenNurbsSubset.h"

#include "support/ScratchDir.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <set>

namespace {

std::vector<std::wstring> keysOf(const ON_Object& object)
{
    ON_ClassArray<ON_wString> keys;
    int count = object.GetUserStringKeys(keys);
    EXPECT_EQ(count, keys.Count());
    std::vector<std::wstring> out;
    for (const ON_wString& k : keys)
        out.push_back(k.Str());
    return out;
}

} // namespace

TEST(OnObject, UserStringKeysKeepInsertionOrder)
{
    ON_3dmObjectAttributes a;
    for (const wchar_t* key : {L"zeta", L"alpha", L"mid", L"beta"})
        EXPECT_TRUE(a.SetUserString(key, L"v"));
    EXPECT_TRUE(a.SetUserString(L"alpha", L"changed")); // keeps its place
    EXPECT_TRUE(a.SetUserString(L"mid", nullptr));      // removed
    EXPECT_FALSE(a.SetUserString(L"", L"x"));
    EXPECT_EQ(keysOf(a), (std::vector<std::wstring>{L"zeta", L"alpha", L"beta"}));
    ON_wString value(L"untouched");
    EXPECT_TRUE(a.GetUserString(L"alpha", value));
    EXPECT_EQ(value, L"changed");
    value = ON_wString(L"untouched");
    EXPECT_FALSE(a.GetUserString(L"mid", value));
    EXPECT_EQ(value, L"untouched");
}

TEST(OnObject, AttributesSurviveCopyAndArchive)
{
    ON_3dmObjectAttributes a;
    a.m_name = ON_wString(L"/meshes/\u00e4rm.stl");
    a.m_color = ON_Color(300, 128, -4); // clamped to 255, 128, 0
    a.SetColorSource(ON::color_from_object);
    a.SetVisible(false);
    a.m_layer_index = 3;
    a.SetUserString(L"k2", L"second");
    a.SetUserString(L"k1", L"first");

    ON_MemoryArchive out;
    ASSERT_TRUE(a.Write(out));
    ON_MemoryArchive in(out.Buffer());
    ON_3dmObjectAttributes read;
    ASSERT_TRUE(read.Read(in));
    EXPECT_TRUE(in.AtEnd());

    ON_3dmObjectAttributes copied(a);
    for (const ON_3dmObjectAttributes* b : {&copied, &read}) {
        EXPECT_EQ(b->m_name, a.m_name);
        EXPECT_EQ(b->m_color, ON_Color(255, 128, 0));
        EXPECT_EQ(b->ColorSource(), ON::color_from_object);
        EXPECT_FALSE(b->IsVisible());
        EXPECT_EQ(b->m_layer_index, 3);
        EXPECT_EQ(keysOf(*b), (std::vector<std::wstring>{L"k2", L"k1"}));
    }

    // Any truncation of the record fails and leaves the attributes alone.
    const auto& bytes = out.Buffer();
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        ON_MemoryArchive shortIn(bytes.data(), cut);
        ON_3dmObjectAttributes untouched;
        EXPECT_FALSE(untouched.Read(shortIn)) << cut;
        EXPECT_TRUE(untouched.IsVisible());
        EXPECT_EQ(untouched.UserStringCount(), 0);
        EXPECT_EQ(shortIn.CurrentPosition(), 0u);
    }
}

TEST(OnObject, IdsAreDistinctAndReferencesKeepThem)
{
    std::set<ON_UUID> ids;
    for (int i = 0; i < 10000; ++i)
        ids.insert(ON_UUID::Create());
    EXPECT_EQ(ids.size(), 10000u);
    EXPECT_EQ(ids.count(ON_UUID()), 0u);

    ON_UUID id = *ids.begin();
    ON_UUID parsed;
    ASSERT_TRUE(parsed.SetFromString(id.ToString().c_str()));
    EXPECT_EQ(parsed, id);
    EXPECT_FALSE(parsed.SetFromString("not-an-id"));
    EXPECT_EQ(parsed, id);

    ON_ObjRef ref;
    ref.m_uuid = id;
    ref.m_component_type = ON_ObjRef::brep_edge;
    ref.m_component_index = 7;
    ON_MemoryArchive out;
    ASSERT_TRUE(ref.Write(out) && ref.Write(out));
    ON_MemoryArchive in(out.Buffer());
    for (int k = 0; k < 2; ++k) {
        ON_ObjRef back;
        ASSERT_TRUE(back.Read(in));
        EXPECT_EQ(back.m_uuid, id);
        EXPECT_EQ(back.m_component_type, ON_ObjRef::brep_edge);
        EXPECT_EQ(back.m_component_index, 7);
    }
    ON_ObjRef past;
    EXPECT_FALSE(past.Read(in));
    EXPECT_TRUE(past.m_uuid.IsNil());
}

TEST(OnObject, WideTextFormatsAndConvertsToUtf8)
{
    ON_wString s;
    ASSERT_TRUE(s.Format(L"%s V%1i %1i.%1i", "Meshwright", 2, 8, 0));
    EXPECT_EQ(s, L"Meshwright V2 8.0");
    ASSERT_TRUE(s.Format(L"[%ls|%5.2f]", L"\u00fcber", 3.14159));
    EXPECT_EQ(s, L"[\u00fcber| 3.14]");
    ASSERT_TRUE(s.Format("%s=%d",
                         "gr\xc3\xb6\xc3\x9f"
                         "e",
                         42)); // UTF-8 narrow text
    EXPECT_EQ(s, L"gr\u00f6\u00dfe=42");
    EXPECT_EQ(ON_wString(L"\u6f22\U0001F600").ToUtf8(), "\xe6\xbc\xa2\xf0\x9f\x98\x80");
    // Malformed UTF-8 and unencodable code points become U+FFFD, never bytes.
    EXPECT_EQ(ON_wString("a\xff"
                         "b\xc3")
                  .Str(),
              std::wstring(L"a\ufffdb\ufffd"));
    EXPECT_EQ(ON_wString(std::wstring(1, static_cast<wchar_t>(0xD800))).ToUtf8(), "\xef\xbf\xbd");

    ON_wString logged;
    ON_TextLog log(logged);
    log.Print("rule %d\n", 3);
    log.PushIndent();
    log.Print("detail\n");
    EXPECT_EQ(logged, L"rule 3\n  detail\n");

    // A log on a file opened by its wide (non-ASCII) name.
    const std::string path = mwtest::scratchPath("d\xc3\xbcmp.txt");
    FILE* file = ON::OpenFile(ON_wString(path.c_str()).Array(), L"w");
    ASSERT_NE(file, nullptr);
    {
        ON_TextLog fileLog(file);
        fileLog.Print("bRep %s\n", "ok");
    }
    EXPECT_EQ(ON::CloseFile(file), 0);
    EXPECT_EQ(ON::CloseFile(nullptr), EOF);
    FILE* back = std::fopen(path.c_str(), "r");
    ASSERT_NE(back, nullptr);
    char text[16] = {};
    EXPECT_EQ(std::fread(text, 1, sizeof text - 1, back), 8u);
    std::fclose(back);
    EXPECT_STREQ(text, "bRep ok\n");
}
