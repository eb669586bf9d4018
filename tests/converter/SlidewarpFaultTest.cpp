// Slidewarp.dll under faults, end to end through the stand-ins: many conversions from several
// processes at once, a presentation program that dies while it saves, and an output folder or
// input that goes away during the call. Whatever happens, the status tells the truth, the call
// returns, and nothing is left in the temporary directory.
//
// FAULT_SUITE=full in the environment (`make faults`) repeats the load and the crashes; without
// it every case runs once, small enough for every test run.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "EndToEndSupport.h"
#include "Win32Owners.h"
#include "PowerPointAutomation.h"
#include "TestFolder.h"
#include "TestTime.h"
#include "platform/FileSystem.h"
#include "platform/PathUtils.h"

using namespace EndToEnd;
using NsPlatform::FileSystem;
using NsPlatform::PathUtils;
using NsWin32::CFindHandle;
using NsWin32::CKernelHandle;
using testing::AnyOf;
using testing::Eq;
using testing::IsEmpty;
using testing::SizeIs;

namespace {

const DWORD kWaitMs = NsTestSupport::ScaledMs(60000);
const DWORD kBurstWaitMs = NsTestSupport::ScaledMs(180000);
constexpr int kConcurrentConversions = 10;
// What a crashed program's exit code looks like (an access violation).
constexpr DWORD kCrashExitCode = 0xC0000005;
constexpr wchar_t kSavingEvent[] = L"SlidewarpFault-saving";
constexpr wchar_t kReleaseEvent[] = L"SlidewarpFault-release";

struct SScale {
    int bursts;
    int crashesPerRoute;
};

SScale Scale()
{
    wchar_t value[16] = {};
    const DWORD length = GetEnvironmentVariableW(L"FAULT_SUITE", value, 16);
    const bool full = length > 0 && length < 16 && std::wstring(value) == L"full";
    return full ? SScale{5, 5} : SScale{1, 1};
}

// A slidewarp.exe conversion in a process of its own; the test ends it if it is still running
// when the test is over, so that no test outlives its own bounds.
class CConversionProcess {
public:
    explicit CConversionProcess(const std::wstring& arguments)
    {
        const std::wstring path = BinFolder() + L"slidewarp.exe";
        std::wstring commandLine = L"\"" + path + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION created{};
        // Detached: the status is the exit code, and the printed one would only be noise.
        if (CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                           &startup, &created)) {
            m_process.Reset(created.hProcess);
            const CKernelHandle thread(created.hThread);
        }
    }
    ~CConversionProcess()
    {
        if (m_process && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT)
            TerminateProcess(m_process.Get(), 1);
    }
    CConversionProcess(CConversionProcess&&) = default;

    HANDLE Handle() const { return m_process.Get(); }
    // Its status once it has ended; -1 before.
    int Status() const
    {
        DWORD code = STILL_ACTIVE;
        if (!m_process || WaitForSingleObject(m_process.Get(), 0) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(m_process.Get(), &code))
            return -1;
        return static_cast<int>(code);
    }

private:
    CKernelHandle m_process;
};

// A conversion on a thread of its own, as the add-in may run one. The thread owns what it
// works on and hands the status back as its exit code, so a thread that the test gives up on
// touches nothing of the test's.
class CConversionThread {
public:
    CConversionThread(CSlidewarp& slidewarp, const std::wstring& input, const std::wstring& output)
    {
        auto job = std::make_unique<SJob>(SJob{slidewarp, input, output});
        m_thread.Reset(CreateThread(nullptr, 0, Run, job.get(), 0, nullptr));
        if (m_thread)
            job.release();
    }
    CConversionThread(const CConversionThread&) = delete;
    CConversionThread& operator=(const CConversionThread&) = delete;

    HANDLE Handle() const { return m_thread.Get(); }
    // The status once the thread has ended within the time; -1 otherwise.
    int Wait(DWORD timeoutMs) const
    {
        DWORD status = static_cast<DWORD>(-1);
        if (m_thread && WaitForSingleObject(m_thread.Get(), timeoutMs) == WAIT_OBJECT_0)
            GetExitCodeThread(m_thread.Get(), &status);
        return static_cast<int>(status);
    }

private:
    struct SJob {
        CSlidewarp& slidewarp;
        std::wstring input;
        std::wstring output;
    };
    static DWORD WINAPI Run(void* parameter)
    {
        const std::unique_ptr<SJob> job(static_cast<SJob*>(parameter));
        return static_cast<DWORD>(job->slidewarp.Convert(job->input, job->output));
    }

    CKernelHandle m_thread;
};

std::vector<std::wstring> FindFiles(const std::wstring& pattern)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    const CFindHandle search(FindFirstFileW(pattern.c_str(), &entry));
    if (search) {
        do {
            names.emplace_back(entry.cFileName);
        } while (FindNextFileW(search.Get(), &entry));
    }
    return names;
}

class SlidewarpFaults : public CEndToEndTest {
protected:
    void SetUp() override
    {
        CEndToEndTest::SetUp();
        m_foldersBefore = GeneratedFolders();
    }
    // Every test leaves no presentation program behind, so the next one starts from nothing.
    void TearDown() override
    {
        EndPresentationProgram();
        CEndToEndTest::TearDown();
    }

    std::wstring Input(const std::wstring& stem = L"fault")
    {
        m_stems.push_back(UniqueName(stem));
        const std::wstring path = m_folder.Path(m_stems.back() + L".pptx");
        WriteSample(path);
        return path;
    }

    // The temporary copies of this test's inputs are gone, and so is every generated folder
    // that the test did not take over.
    void ExpectNothingLeftInTemp() const
    {
        for (const std::wstring& stem : m_stems)
            EXPECT_THAT(TempFilesStartingWith(stem), IsEmpty()) << Narrow(stem);
        EXPECT_EQ(GeneratedFolders(), m_foldersBefore);
    }

    CTestFolder m_folder;
    CStandinSettings m_settings;
    std::vector<std::wstring> m_stems;
    std::set<std::wstring> m_foldersBefore;
};

// Watches the temporary directory while conversions run and remembers the most temporary
// copies of inputs named `stem`-something that were there at one time. A copy exists only
// while its conversion holds the lock, so more than one means two conversions at once.
class CCopyWatch {
public:
    explicit CCopyWatch(const std::wstring& stem)
        : m_pattern(TempFolder() + stem + L"*.pptx"),
          m_changes(FindFirstChangeNotificationW(TempFolder().c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME))
    {
    }
    HANDLE Handle() const { return m_changes.Get(); }
    bool IsWatching() const { return static_cast<bool>(m_changes); }
    void Count()
    {
        m_most = std::max(m_most, FindFiles(m_pattern).size());
        FindNextChangeNotification(m_changes.Get());
    }
    std::size_t Most() const { return m_most; }

private:
    std::wstring m_pattern;
    NsWin32::CChangeNotification m_changes;
    std::size_t m_most = 0;
};

// Waits until every process has ended (within kBurstWaitMs), counting copies on every change
// of the temporary directory meanwhile.
bool WaitWhileWatching(const std::vector<CConversionProcess>& processes, CCopyWatch& watch)
{
    std::vector<HANDLE> running;
    for (const CConversionProcess& process : processes)
        running.push_back(process.Handle());
    const DWORD start = GetTickCount();
    while (!running.empty()) {
        std::vector<HANDLE> waits = running;
        waits.push_back(watch.Handle());
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kBurstWaitMs)
            return false;
        const DWORD signalled =
            WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE, kBurstWaitMs - elapsed);
        if (signalled >= WAIT_OBJECT_0 + waits.size())
            return false;
        const std::size_t index = signalled - WAIT_OBJECT_0;
        if (index == running.size())
            watch.Count();
        else
            running.erase(running.begin() + static_cast<std::ptrdiff_t>(index));
    }
    return true;
}

// A save that stalls inside the presentation program until the test lets it go.
class SlidewarpStalledSave : public SlidewarpFaults {
protected:
    // A previous test's events live on while its converter still holds them.
    void SetUp() override
    {
        SlidewarpFaults::SetUp();
        ResetEvent(m_saving.Get());
        ResetEvent(m_release.Get());
    }
    void TearDown() override
    {
        SetEvent(m_release.Get());
        if (m_conversion) {
            EXPECT_NE(m_conversion->Wait(kWaitMs), -1) << "the conversion does not end";
        }
        SlidewarpFaults::TearDown();
    }

    // Converts on a thread of its own and returns once the save has begun.
    void StartConversion(const std::wstring& input, const std::wstring& output)
    {
        ASSERT_TRUE(m_saving);
        ASSERT_TRUE(m_release);
        m_settings.Set(L"LibreOffice", BinFolder() + L"StalledOffice.exe");
        m_conversion = std::make_unique<CConversionThread>(Slidewarp(), input, output);
        const HANDLE waits[] = {m_saving.Get(), m_conversion->Handle()};
        ASSERT_EQ(WaitForMultipleObjects(2, waits, FALSE, kWaitMs), WAIT_OBJECT_0) << "the save never began";
    }
    int FinishConversion()
    {
        SetEvent(m_release.Get());
        return m_conversion->Wait(kWaitMs);
    }

    CKernelHandle m_saving{CreateEventW(nullptr, FALSE, FALSE, kSavingEvent)};
    CKernelHandle m_release{CreateEventW(nullptr, TRUE, FALSE, kReleaseEvent)};
    std::unique_ptr<CConversionThread> m_conversion;
};

} // namespace

TEST_F(SlidewarpFaults, ConversionsFromSeveralProcessesAtOnceTakeTurnsAndLeaveNothingBehind)
{
    // Windows starts one server for activations that arrive together. Wine starts one for
    // every caller and hands out only one of them; the others cannot be reached, not even to
    // be told to quit, until they end unused. The program runs before the conversions begin,
    // so that all of them meet the same instance, as they would on Windows.
    const auto program = NsConverter::StartPowerPoint();
    ASSERT_TRUE(program);
    const SScale scale = Scale();
    int tried = 0;
    int converted = 0;
    std::size_t mostCopies = 0;
    for (int burst = 0; burst < scale.bursts; ++burst) {
        SCOPED_TRACE(burst);
        const std::wstring stem = UniqueName(L"burst");
        CCopyWatch watch(stem);
        ASSERT_TRUE(watch.IsWatching());
        // Half of them name their output, half ask for a generated one.
        std::vector<std::wstring> outputs;
        std::vector<CConversionProcess> processes;
        for (int index = 0; index < kConcurrentConversions; ++index) {
            const std::wstring input = Input(stem + L"-" + std::to_wstring(index));
            outputs.push_back(index % 2 == 0 ? m_folder.Path(m_stems.back() + L".ppt") : std::wstring());
            const std::wstring output = outputs.back().empty() ? L"" : L" \"" + outputs.back() + L"\"";
            processes.emplace_back(L"convert \"" + input + L"\"" + output);
            ASSERT_TRUE(processes.back().Handle());
        }
        ASSERT_TRUE(WaitWhileWatching(processes, watch)) << "the conversions do not end";

        int generatedConversions = 0;
        for (std::size_t index = 0; index < processes.size(); ++index) {
            SCOPED_TRACE(index);
            const int status = processes[index].Status();
            // Another conversion holding the lock is the only acceptable refusal.
            EXPECT_THAT(status, AnyOf(Eq(0), Eq(1000)));
            if (!outputs[index].empty())
                EXPECT_EQ(IsCompoundDocument(outputs[index]), status == 0);
            else
                generatedConversions += status == 0 ? 1 : 0;
            converted += status == 0 ? 1 : 0;
        }
        tried += kConcurrentConversions;
        EXPECT_LE(watch.Most(), 1u) << "two conversions held the lock at once";
        mostCopies = std::max(mostCopies, watch.Most());

        // The generated outputs are the caller's until it deletes them.
        std::vector<std::wstring> newFolders;
        for (const std::wstring& folder : GeneratedFolders()) {
            if (m_foldersBefore.count(folder) == 0)
                newFolders.push_back(TempFolder() + folder);
        }
        EXPECT_THAT(newFolders, SizeIs(generatedConversions));
        for (const std::wstring& folder : newFolders) {
            const std::vector<std::wstring> files = FindFiles(folder + L"\\*.ppt");
            ASSERT_THAT(files, SizeIs(1)) << Narrow(folder);
            const std::wstring output = folder + L"\\" + files[0];
            EXPECT_TRUE(IsCompoundDocument(output));
            EXPECT_EQ(Slidewarp().DeleteOutputFile(output.c_str()), 0);
        }
    }
    EXPECT_GE(converted, scale.bursts);
    ExpectNothingLeftInTemp();
    std::printf("%d conversions from %d processes at a time: %d converted, %d refused; at most %zu "
                "temporary copies at once\n",
                tried, kConcurrentConversions, converted, tried - converted, mostCopies);
}

TEST_F(SlidewarpFaults, AProgramThatCrashesWhileSavingFailsTheCallAndTheNextConversionWorks)
{
    struct SRoute {
        const char* name;
        const wchar_t* version;
        const wchar_t* build;
        bool throughConverter;
    };
    const SRoute routes[] = {{"direct", L"16.0", L"4266", false}, {"converter", L"11.0", L"8000", true}};
    const int cycles = Scale().crashesPerRoute;
    int crashes = 0;
    for (const SRoute& route : routes) {
        SCOPED_TRACE(route.name);
        m_settings.Version(route.version, route.build);
        for (int cycle = 0; cycle < cycles; ++cycle) {
            m_settings.Set(L"ExitDuringSave", kCrashExitCode);
            const std::wstring named = m_folder.Path(UniqueName(L"crashed") + L".ppt");
            EXPECT_EQ(Slidewarp().Convert(Input(), named), 2002);
            EXPECT_FALSE(FileSystem::FileExists(named)) << "the torn file stays";
            std::wstring generated;
            EXPECT_EQ(Slidewarp().ConvertToGeneratedPath(Input(), generated), 2002);
            EXPECT_FALSE(FileSystem::DirectoryExists(PathUtils::GetParentFolder(generated, false)));
            crashes += 2;

            m_settings.Set(L"ExitDuringSave", DWORD{0});
            const std::wstring output = m_folder.Path(UniqueName(L"after-crash") + L".ppt");
            EXPECT_EQ(Slidewarp().Convert(Input(), output), 0);
            EXPECT_TRUE(IsCompoundDocument(output));
        }
        EndPresentationProgram();
        // What the compatibility converter wrote beside the copy when the program died under
        // it is the converter's file: Slidewarp never learns its name.
        for (const std::wstring& stem : m_stems) {
            for (const std::wstring& name : FindFiles(TempFolder() + stem + L"*.ppt")) {
                if (route.throughConverter)
                    DeleteFileW((TempFolder() + name).c_str());
            }
        }
    }
    ExpectNothingLeftInTemp();
    std::printf("%d crashes while saving, %d conversions after them\n", crashes, 2 * cycles);
}

TEST_F(SlidewarpStalledSave, AnOutputFolderRemovedWhileSavingFailsTheConversion)
{
    const std::wstring folder = m_folder.Path(L"vanishing");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring output = folder + L"\\out.ppt";
    StartConversion(Input(), output);
    ASSERT_TRUE(RemoveDirectoryW(folder.c_str()));

    EXPECT_EQ(FinishConversion(), 2002);
    EXPECT_FALSE(FileSystem::FileExists(output));
    ExpectNothingLeftInTemp();
}

TEST_F(SlidewarpStalledSave, AnInputDeletedWhileSavingStillConvertsFromTheCopy)
{
    const std::wstring input = Input();
    const std::wstring output = m_folder.Path(L"out.ppt");
    StartConversion(input, output);
    ASSERT_TRUE(DeleteFileW(input.c_str()));

    EXPECT_EQ(FinishConversion(), 0);
    EXPECT_TRUE(IsCompoundDocument(output));
    ExpectNothingLeftInTemp();
}

TEST_F(SlidewarpFaults, AMissingOrReadOnlyOutputFolderGivesAStatusThatMatchesTheFile)
{
    const std::wstring input = Input();
    const std::wstring missing = m_folder.Path(L"missing\\out.ppt");
    EXPECT_EQ(Slidewarp().Convert(input, missing), 2002);
    EXPECT_FALSE(FileSystem::FileExists(missing));

    const std::wstring readOnly = m_folder.Path(L"read-only");
    ASSERT_TRUE(CreateDirectoryW(readOnly.c_str(), nullptr));
    ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    const std::wstring output = readOnly + L"\\out.ppt";
    const int status = Slidewarp().Convert(input, output);
    // Windows lets files be written into a read-only folder; either way, success and a
    // complete file go together.
    EXPECT_THAT(status, AnyOf(Eq(0), Eq(2002)));
    EXPECT_EQ(IsCompoundDocument(output), status == 0);
    SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);
    ExpectNothingLeftInTemp();

    EXPECT_EQ(Slidewarp().Convert(m_folder.Path(L"gone.pptx"), m_folder.Path(L"gone.ppt")), 3000);
}

TEST_F(SlidewarpFaults, DeletingAConvertedFileSparesWhatAJunctionInItsFolderLeadsTo)
{
    const std::wstring outside = m_folder.Path(L"outside");
    ASSERT_TRUE(CreateDirectoryW(outside.c_str(), nullptr));
    WriteBytes(outside + L"\\precious.txt", "x");
    const std::wstring probe = m_folder.Path(L"probe");
    if (!MakeJunction(probe, outside))
        GTEST_SKIP() << "this file system cannot make directory junctions (Wine 8 cannot)";
    RemoveDirectoryW(probe.c_str());

    std::wstring output;
    ASSERT_EQ(Slidewarp().ConvertToGeneratedPath(Input(), output), 0);
    const std::wstring folder = PathUtils::GetParentFolder(output, false);
    ASSERT_TRUE(MakeJunction(folder + L"\\link", outside));

    EXPECT_EQ(Slidewarp().DeleteOutputFile(output.c_str()), 0);
    EXPECT_FALSE(FileSystem::DirectoryExists(folder));
    EXPECT_EQ(ReadBytes(outside + L"\\precious.txt"), "x");
    ExpectNothingLeftInTemp();
}
