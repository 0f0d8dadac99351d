#include "TestHost.h"

#include "foundation/Progress.h"
#include "platform/host/DocumentFile.h"
#include "platform/host/HostText.h"
#include "support/DocumentBlocks.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/stat.h>
#include <zlib.h>

using hosttest::passes;
using hosttest::transcript;

namespace {

std::vector<std::string> g_calls;

ON_UUID idOf(const char* text)
{
    ON_UUID id;
    id.SetFromString(text);
    return id;
}

class PlugInObject : public CVezadObject {
public:
    ~PlugInObject() override { g_calls.push_back("destroyed custom"); }
};

// An import plug-in with document data: an int and a compressed buffer.
class TestPlugIn : public CVezadFileImportPlugIn {
public:
    bool m_write = true;

    ON_UUID PlugInID() const override { return idOf("0f3c2b1a-5d4e-4f60-8a7b-9c8d7e6f5a41"); }
    const wchar_t* PlugInName() const override { return L"TestPlugIn"; }
    const wchar_t* PlugInVersion() const override { return L"1.0"; }
    BOOL OnLoadPlugIn() override
    {
        g_calls.push_back("load " + GetPlugInFileName().ToUtf8());
        return TRUE;
    }
    void OnUnloadPlugIn() override { g_calls.push_back("unload"); }
    BOOL CallWriteDocument(const CVezadFileWriteOptions&) override { return m_write; }
    BOOL WriteDocument(CVezadDoc&, ON_BinaryArchive& archive,
                       const CVezadFileWriteOptions&) override
    {
        static const char payload[] = "net text";
        return archive.WriteInt(4) && archive.WriteCompressedBuffer(sizeof payload, payload);
    }
    BOOL ReadDocument(CVezadDoc&, ON_BinaryArchive& archive, const CVezadFileReadOptions&) override
    {
        int version = 0;
        std::size_t size = 0;
        archive.ReadInt(&version);
        std::string text = "?";
        if (archive.ReadCompressedBufferSize(&size)) {
            std::vector<char> buffer(size);
            int crcFailed = 0;
            if (archive.ReadCompressedBuffer(size, buffer.data(), &crcFailed))
                text = buffer.data();
        }
        int beyond = 0;
        const bool overRead = archive.ReadInt(&beyond);
        g_calls.push_back("read " + std::to_string(version) + " " + text +
                          (overRead ? " over-read" : " ends"));
        return TRUE;
    }
    // Takes the records of version 4.
    BOOL CheckDocument(ON_BinaryArchive& archive, const CVezadFileReadOptions&,
                       ON_wString& problem) override
    {
        int version = 0;
        if (archive.ReadInt(&version) && version == 4)
            return TRUE;
        g_calls.push_back("refused " + std::to_string(version));
        problem = ON_wString(("version " + std::to_string(version)).c_str());
        return FALSE;
    }
    void ForgetCheckedDocument() override { g_calls.push_back("forget"); }
    void AddFileType(ON_ClassArray<CVezadFileType>& types, const CVezadFileReadOptions&) override
    {
        types.Append(CVezadFileType(PlugInID(), L"Knotwork Files (*.out)", L"out"));
        types.Append(CVezadFileType(PlugInID(), L"STL Mesh Files (*.stl)", L"stl"));
    }
    BOOL ReadFile(const wchar_t* fileName, int index, CVezadDoc& doc,
                  const CVezadFileReadOptions& options) override
    {
        g_calls.push_back("import " + std::filesystem::path(fileName).filename().string() + " " +
                          std::to_string(index) + (options.ImportMode() ? " import" : ""));
        doc.AddCurveObject(ON_LineCurve(ON_3dPoint(0, 0, 0), ON_3dPoint(1, 0, 0)));
        return TRUE;
    }
} g_plugIn;

class OldPlugIn : public CVezadPlugIn {
public:
    ON_UUID PlugInID() const override { return idOf("0f3c2b1a-5d4e-4f60-8a7b-9c8d7e6f5a42"); }
    const wchar_t* PlugInName() const override { return L"OldPlugIn"; }
    const wchar_t* PlugInVersion() const override { return L"0.1"; }
    BOOL OnLoadPlugIn() override
    {
        g_calls.push_back("old plug-in loaded");
        return TRUE;
    }
} g_oldPlugIn;

int currentSdk()
{
    return 200612060;
}
int olderSdk()
{
    return 200501010;
}
const wchar_t* developer()
{
    g_calls.push_back("developer asked");
    return L"Meshwright developers";
}
CVezadPlugIn& testPlugIn()
{
    return g_plugIn;
}
CVezadPlugIn& oldPlugIn()
{
    return g_oldPlugIn;
}

CVezadPlugInModule g_testModule(L"TestPlugIn", {.VezadPlugInSdkVersion = currentSdk,
                                                .VezadPlugInDeveloperOrganization = developer,
                                                .VezadPlugInObject = testPlugIn});
CVezadPlugInModule g_oldModule(L"OldPlugIn",
                               {.VezadPlugInSdkVersion = olderSdk, .VezadPlugInObject = oldPlugIn});

std::vector<unsigned char> bytesOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(HostPlugIns, LoaderChecksTheSdkAndShutdownClosesTheDocumentFirst)
{
    {
        HeadlessHost host;
        EXPECT_FALSE(host.start(hosttest::settings({L"OldPlugIn", L"TestPlugIn", L"Absent"})));
        ASSERT_TRUE(host.isRunning());
        EXPECT_NE(transcript().find("Plug-in OldPlugIn not loaded: built for SDK version "
                                    "200501010, the host needs 200612060"),
                  std::string::npos);
        EXPECT_NE(transcript().find("Plug-in Absent not found"), std::string::npos);
        EXPECT_FALSE(host.loadPlugIn(L"TestPlugIn")); // loaded already
        ASSERT_TRUE(host.doc().AddObject(new PlugInObject));

        // A stop request reaches long work through the progress sink, until
        // the next command starts.
        CVezadProgress progress;
        CVezadWorkerThread::SetKeepRunning(false);
        EXPECT_TRUE(progress.isCancelled());
        host.runScript("_Tolerance 0.001");
        EXPECT_FALSE(progress.isCancelled());
        CVezadWorkerThread::SetKeepRunning(false);
    }
    EXPECT_FALSE(CVezadProgress().isCancelled()); // the host's query is gone
    const std::string file = mwtest::scratchPath("TestPlugIn.vzp");
    EXPECT_EQ(g_calls, (std::vector<std::string>{"developer asked", "load " + file,
                                                 "destroyed custom", "unload"}));
    EXPECT_EQ(g_plugIn.GetPlugInFileName(), L"");
    HeadlessHost second;
    EXPECT_FALSE(second.start(hosttest::settings()));
    EXPECT_FALSE(second.isRunning());
}

TEST(HostPlugIns, ImportFindsTheFileTypeWithoutCase)
{
    HeadlessHost host;
    ASSERT_TRUE(host.start(hosttest::settings({L"TestPlugIn"})));
    for (const char* name : {"a.OUT", "b.Stl", "c.xyz", "d"})
        std::ofstream(mwtest::scratchPath(name)) << "data\n";
    std::filesystem::create_directory(mwtest::scratchPath("f.out"));
    ASSERT_EQ(::mkfifo(mwtest::scratchPath("g.out").c_str(), 0600), 0);
    g_calls.clear();
    const std::string dir = mwtest::scratchDir();
    EXPECT_TRUE(passes(host.runScript("_Import " + dir +
                                      "/a.OUT\n!expect-result 0\n"
                                      "_Import " +
                                      dir +
                                      "/b.Stl\n!expect-result 0\n"
                                      "_Import " +
                                      dir +
                                      "/c.xyz\n!expect-result 3\n"
                                      "!expect-print \"No importer for .xyz\"\n"
                                      "_Import " +
                                      dir +
                                      "/e.out\n!expect-result 3\n"
                                      "!expect-print \"File not found\"\n"
                                      "_Import " +
                                      dir + "/f.out\n!expect-result 3\n" +
                                      "!expect-print \"File is a folder: " + dir + "/f.out\"\n" +
                                      "_Import " + dir + "/g.out\n!expect-result 3\n" +
                                      "!expect-print \"File is not a regular file (a FIFO)\"\n"
                                      "_Undo\n")));
    EXPECT_EQ(g_calls,
              (std::vector<std::string>{"import a.OUT 0 import", "import b.Stl 1 import"}));
    // The undo took back the second import's object only.
    ASSERT_EQ(host.doc().ObjectCount(), 2);
    EXPECT_FALSE(host.doc().ObjectAt(0)->IsDeleted());
    EXPECT_TRUE(host.doc().ObjectAt(1)->IsDeleted());
}

TEST(HostPlugIns, DocumentDataReachesThePlugInWithinItsChunk)
{
    HeadlessHost host;
    ASSERT_TRUE(host.start(hosttest::settings({L"TestPlugIn"})));
    const std::string path = mwtest::scratchPath("with.vzd");
    const std::string without = mwtest::scratchPath("without.vzd");
    // Saved as the user saves; the edits below make the check sums fit.
    ASSERT_TRUE(passes(host.runScript("_Save " + path)));
    g_plugIn.m_write = false;
    ASSERT_TRUE(passes(host.runScript("_Save " + without)));
    g_calls.clear();
    ASSERT_TRUE(passes(host.runScript("_Open " + path + "\n_Open " + without)));
    // The chunk ends where the plug-in's data ends: one more read fails.
    EXPECT_EQ(g_calls, (std::vector<std::string>{"read 4 net text ends"}));

    std::vector<unsigned char> bytes = bytesOf(path);
    const std::size_t chunkAt = mwtest::lastBlockBody(bytes);
    ON_MemoryArchive idBytes;
    idBytes.WriteUuid(g_plugIn.PlugInID());
    ASSERT_TRUE(std::equal(idBytes.Buffer().begin(), idBytes.Buffer().end(),
                           bytes.begin() + std::ptrdiff_t(chunkAt)));
    // A chunk its plug-in's check refuses, and a plug-in's data stored
    // twice, refuse the file before the document changes: nothing is read.
    std::vector<unsigned char> refused = bytes;
    refused[chunkAt + 16] = 5; // the record's version
    std::vector<unsigned char> twice = bytes;
    twice.insert(twice.end(), bytes.begin() + std::ptrdiff_t(chunkAt - 12), bytes.end());
    twice[20 + 12 + std::size_t(bytes[20]) - 4] = 2; // the settings' chunk count
    const std::string other = mwtest::scratchPath("other.vzd");
    for (const bool check : {true, false}) {
        std::vector<unsigned char>& file = check ? refused : twice;
        ASSERT_TRUE(mwtest::sealDocument(file));
        std::ofstream(other, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
        host.doc().AddCurveObject(ON_LineCurve(ON_3dPoint(0, 0, 0), ON_3dPoint(1, 0, 0)));
        const int objects = host.doc().ObjectCount();
        g_calls.clear();
        EXPECT_TRUE(passes(host.runScript("_Open " + other + "\n!expect-result 3")));
        EXPECT_EQ(host.doc().ObjectCount(), objects);
        if (check) {
            EXPECT_EQ(g_calls, (std::vector<std::string>{"refused 5", "forget"}));
            EXPECT_NE(transcript().find(other + " not opened: the data of plug-in TestPlugIn "
                                                "cannot be read whole: version 5\n"),
                      std::string::npos);
        } else {
            EXPECT_TRUE(g_calls.empty());
            EXPECT_NE(transcript().find(other + " not opened: the data of plug-in " +
                                        g_plugIn.PlugInID().ToString() + " is stored twice\n"),
                      std::string::npos);
        }
    }

    // Data of a plug-in that is not loaded (here one bit of the id flipped)
    // was dropped with a result of 0, and lost for good by the next save:
    // the open now says it could not read it, and a save writes it back
    // byte for byte. Its 3 MiB are checked in pieces of 1 MiB, the running
    // CRC-32 passed on; a running value of 0 after a piece was taken for the
    // start of the block, and a document the program saved was refused.
    // Here four bytes bring it to 0 after the first piece.
    bytes[chunkAt] ^= 0x01;
    std::string record(std::size_t(3) << 20, '\0');
    for (std::size_t k = 0, seed = 7; k < record.size(); ++k)
        record[k] = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    bytes = mwtest::withLastRecord(bytes, record);
    ASSERT_EQ(bytes.size(), chunkAt + 16 + record.size());
    const std::size_t piece = chunkAt + (std::size_t(1) << 20);
    const uLong running =
        crc32(crc32(0L, &bytes[chunkAt - 12], 8), &bytes[chunkAt], uInt(piece - 4 - chunkAt));
    const std::string forcing = mwtest::crc32Forcing(std::uint32_t(running), 0);
    std::copy(forcing.begin(), forcing.end(), bytes.begin() + std::ptrdiff_t(piece - 4));
    ASSERT_TRUE(mwtest::sealDocument(bytes));
    ON_UUID foreign;
    ON_MemoryArchive(&bytes[chunkAt], 16).ReadUuid(foreign);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    g_calls.clear();
    const std::string saved = mwtest::scratchPath("saved.vzd");
    EXPECT_TRUE(passes(host.runScript("_Open " + path + "\n!expect-result 3\n" +
                                      "!expect-print \"opened, but the data of plug-in " +
                                      foreign.ToString() + " is kept unread\"\n_Save " + saved)));
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(bytesOf(saved), bytes);
}

TEST(HostToolBars, CollectionsComeFromTbFiles)
{
    const std::string path = mwtest::scratchPath("Meshwright.tb");
    std::ofstream(path) << "# toolbars of the plug-in\n"
                        << "toolbar Meshwright visible=0\n"
                        << "toolbar \"Mesh tools\" visible=1\n";
    std::ofstream(mwtest::scratchPath("bad.tb")) << "toolbar Meshwright shown\n";
    CVezadUiToolBarManager& manager = VezadApp().ToolBarManager();
    const std::wstring wide = VezadHost::toWide(path);
    EXPECT_EQ(manager.FindCollection(wide.c_str()), nullptr);
    ASSERT_TRUE(manager.ReadFile(wide.c_str(), true, true, true));
    CVezadUiToolBarCollection* collection = manager.FindCollection(wide.c_str());
    ASSERT_NE(collection, nullptr);
    const int index = collection->FindToolBar(L"Meshwright");
    EXPECT_EQ(index, 0);
    EXPECT_EQ(collection->FindToolBar(L"Mesh tools"), 1);
    EXPECT_EQ(collection->FindToolBar(L"Other"), -1);
    EXPECT_FALSE(collection->IsToolBarVisible(index));
    EXPECT_TRUE(collection->ShowToolBar(index, true));
    EXPECT_TRUE(collection->IsToolBarVisible(index));
    EXPECT_TRUE(collection->ShowToolBar(index, false));
    EXPECT_FALSE(collection->IsToolBarVisible(index));
    EXPECT_FALSE(collection->ShowToolBar(5, true));
    for (const char* name : {"missing.tb", "bad.tb"}) {
        const std::wstring other = VezadHost::toWide(mwtest::scratchPath(name));
        EXPECT_FALSE(manager.ReadFile(other.c_str(), true, true, true));
        EXPECT_EQ(manager.FindCollection(other.c_str()), nullptr);
    }
}
