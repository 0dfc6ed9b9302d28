#include "tests/support/remote_patch.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {
// A jump takes five bytes at the entry: E9 and a 32-bit displacement.
constexpr size_t kJumpSize = 5;

void* EntryAddress(const char* library, const char* entry)
{
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(library), entry));
}

void PutWord(std::vector<BYTE>* code, DWORD value)
{
    for (int i = 0; i < 4; ++i)
        code->push_back(static_cast<BYTE>(value >> (8 * i)));
}

DWORD Address(const void* pointer) { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(pointer)); }

// Puts `code` into the process and the jump to it at the entry, whose first
// bytes must be what this process has there. The entry's page stays
// writable, for code that puts the entry's own bytes back.
std::string JumpToCode(HANDLE process, BYTE* entry, const std::vector<BYTE>& code, void* remote = nullptr)
{
    BYTE theirs[16];
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, entry, theirs, sizeof theirs, &got) || got != sizeof theirs ||
        memcmp(theirs, entry, sizeof theirs) != 0)
        return "the entry differs in the saver";
    if (!remote)
        remote = VirtualAllocEx(process, nullptr, code.size(), MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
    if (!remote || !WriteProcessMemory(process, remote, code.data(), code.size(), nullptr))
        return "the code could not be put into the saver";
    BYTE jump[kJumpSize] = {0xE9};
    const DWORD displacement = Address(remote) - (Address(entry) + kJumpSize);
    memcpy(jump + 1, &displacement, sizeof displacement);
    DWORD oldProtection = 0;
    if (!VirtualProtectEx(process, entry, kJumpSize, PAGE_EXECUTE_READWRITE, &oldProtection) ||
        !WriteProcessMemory(process, entry, jump, sizeof jump, nullptr))
        return "the entry could not be written";
    FlushInstructionCache(process, entry, kJumpSize);
    return "";
}
}  // namespace

std::string RefuseEntry(HANDLE process, const char* library, const char* entry, DWORD error, int argumentBytes)
{
    void* target = EntryAddress(library, entry);
    void* setLastError = EntryAddress("kernel32.dll", "SetLastError");
    if (!target || !setLastError)
        return std::string("no ") + entry + " or SetLastError here";
    std::vector<BYTE> code;
    code.push_back(0x68);  // push error
    PutWord(&code, error);
    code.push_back(0xB8);  // mov eax, SetLastError
    PutWord(&code, Address(setLastError));
    code.insert(code.end(), {0xFF, 0xD0});  // call eax
    code.insert(code.end(), {0x31, 0xC0});  // xor eax, eax
    code.push_back(0xC2);                   // ret argumentBytes
    code.push_back(static_cast<BYTE>(argumentBytes));
    code.push_back(static_cast<BYTE>(argumentBytes >> 8));
    return JumpToCode(process, static_cast<BYTE*>(target), code);
}

// Puts the entry's own first five bytes back and goes on there.
static void PutEntryBackAndGo(std::vector<BYTE>* code, BYTE* target)
{
    code->push_back(0xB8);  // mov eax, entry
    PutWord(code, Address(target));
    code->insert(code->end(), {0xC7, 0x00});  // mov dword [eax], bytes 0-3
    code->insert(code->end(), target, target + 4);
    code->insert(code->end(), {0xC6, 0x40, 0x04, target[4]});  // mov byte [eax+4], byte 4
    code->insert(code->end(), {0xFF, 0xE0});                     // jmp eax
}

std::string FakeEntry(HANDLE process, const char* library, const char* entry, DWORD answer, DWORD calls,
                      int argumentBytes)
{
    BYTE* target = static_cast<BYTE*>(EntryAddress(library, entry));
    if (!target)
        return std::string("no ") + entry + " here";
    BYTE* remote = static_cast<BYTE*>(VirtualAllocEx(process, nullptr, 64, MEM_COMMIT | MEM_RESERVE,
                                                     PAGE_EXECUTE_READWRITE));
    if (!remote)
        return "no room in the saver";
    const DWORD counter = Address(remote) + 60;  // the calls left to fake
    std::vector<BYTE> code = {0xFF, 0x0D};       // dec dword [counter]
    PutWord(&code, counter);
    code.insert(code.end(), {0x78, 0x08, 0xB8});  // js over the fake answer; mov eax, answer
    PutWord(&code, answer);
    code.push_back(0xC2);  // ret argumentBytes
    code.push_back(static_cast<BYTE>(argumentBytes));
    code.push_back(static_cast<BYTE>(argumentBytes >> 8));
    PutEntryBackAndGo(&code, target);
    code.resize(60);
    PutWord(&code, calls);
    return JumpToCode(process, target, code, remote);
}

std::string DelayEntry(HANDLE process, const char* library, const char* entry, DWORD delayMs)
{
    BYTE* target = static_cast<BYTE*>(EntryAddress(library, entry));
    void* sleep = EntryAddress("kernel32.dll", "Sleep");
    if (!target || !sleep)
        return std::string("no ") + entry + " or Sleep here";
    std::vector<BYTE> code;
    code.push_back(0x68);  // push delayMs
    PutWord(&code, delayMs);
    code.push_back(0xB8);  // mov eax, Sleep
    PutWord(&code, Address(sleep));
    code.insert(code.end(), {0xFF, 0xD0});  // call eax
    PutEntryBackAndGo(&code, target);
    return JumpToCode(process, target, code);
}

std::string AnswerForTheCallersJob(HANDLE process, HANDLE job)
{
    BYTE* target = static_cast<BYTE*>(EntryAddress("kernel32.dll", "QueryInformationJobObject"));
    void* query = EntryAddress("ntdll.dll", "NtQueryInformationJobObject");
    void* toError = EntryAddress("ntdll.dll", "RtlNtStatusToDosError");
    void* setLastError = EntryAddress("kernel32.dll", "SetLastError");
    HANDLE jobThere = nullptr;
    if (!target || !query || !toError || !setLastError)
        return "no QueryInformationJobObject or its parts here";
    if (!DuplicateHandle(GetCurrentProcess(), job, process, &jobThere, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return "the job could not be handed to the saver";
    std::vector<BYTE> code = {
        0x8B, 0x44, 0x24, 0x04,  // mov eax, [esp+4]: the job's handle
        0x85, 0xC0,              // test eax, eax
        0x75, 0x05,              // jnz over the next instruction
        0xB8,                    // mov eax, the job's handle in the saver
    };
    PutWord(&code, Address(jobThere));
    for (int i = 0; i < 4; ++i)
        code.insert(code.end(), {0xFF, 0x74, 0x24, 0x14});  // push [esp+20]: the other four arguments, last first
    code.push_back(0x50);                                  // push eax
    code.push_back(0xB8);                                  // mov eax, NtQueryInformationJobObject
    PutWord(&code, Address(query));
    code.insert(code.end(), {0xFF, 0xD0, 0x85, 0xC0, 0x75, 0x08});  // call eax; test eax, eax; jnz to the failure
    code.insert(code.end(), {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC2, 0x14, 0x00});  // mov eax, 1; ret 20
    code.insert(code.end(), {0x50, 0xB8});                                       // push eax; mov eax, ...
    PutWord(&code, Address(toError));
    code.insert(code.end(), {0xFF, 0xD0, 0x50, 0xB8});  // call eax; push eax; mov eax, SetLastError
    PutWord(&code, Address(setLastError));
    code.insert(code.end(), {0xFF, 0xD0, 0x31, 0xC0, 0xC2, 0x14, 0x00});  // call eax; xor eax, eax; ret 20
    return JumpToCode(process, target, code);
}

std::string HideEntries(HANDLE process, void* image, std::initializer_list<const char*> names)
{
    IMAGE_DOS_HEADER dos = {};
    IMAGE_NT_HEADERS nt = {};
    BYTE* base = static_cast<BYTE*>(image);
    if (!base || !ReadProcessMemory(process, base, &dos, sizeof dos, nullptr) ||
        !ReadProcessMemory(process, base + dos.e_lfanew, &nt, sizeof nt, nullptr))
        return "the saver's image cannot be read";
    // Read page by page: an image has gaps between its sections.
    std::vector<char> copy(nt.OptionalHeader.SizeOfImage, '\0');
    for (DWORD at = 0; at < copy.size(); at += 4096)
        ReadProcessMemory(process, base + at, &copy[at], std::min<size_t>(4096, copy.size() - at), nullptr);
    const std::string all(copy.begin(), copy.end());
    for (const char* name : names) {
        // The name as the saver keeps it: a text of its own, NUL before and after.
        const std::string wanted = std::string(1, '\0') + name + '\0';
        size_t at = 0;
        int found = 0;
        while ((at = all.find(wanted, at)) != std::string::npos) {
            BYTE* last = base + at + wanted.size() - 2;
            const BYTE letter = static_cast<BYTE>(name[strlen(name) - 1] - 1);
            DWORD oldProtection = 0;
            if (!VirtualProtectEx(process, last, 1, PAGE_READWRITE, &oldProtection) ||
                !WriteProcessMemory(process, last, &letter, 1, nullptr))
                return std::string("the name ") + name + " could not be written";
            VirtualProtectEx(process, last, 1, oldProtection, &oldProtection);
            ++found;
            at += wanted.size() - 1;
        }
        if (!found)
            return std::string("the saver names no ") + name;
    }
    return "";
}
