#include "tests/support/remote_patch.h"

#include <algorithm>
#include <cstring>
#include <vector>

// The code put into the saver is the saver's own machine code: i386 code in
// the 32-bit saver, x86-64 code in the 64-bit build the tests run where a
// machine runs no 32-bit program (docs/TESTING.md).
namespace {
#ifdef _WIN64
// A jump takes fourteen bytes at the entry: jmp [rip+0] and the address.
constexpr size_t kJumpSize = 14;
#else
// A jump takes five bytes at the entry: E9 and a 32-bit displacement.
constexpr size_t kJumpSize = 5;
#endif

void* EntryAddress(const char* library, const char* entry)
{
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(library), entry));
}

void PutWord(std::vector<BYTE>* code, DWORD value)
{
    for (int i = 0; i < 4; ++i)
        code->push_back(static_cast<BYTE>(value >> (8 * i)));
}

#ifdef _WIN64
void PutAddress(std::vector<BYTE>* code, const void* pointer)
{
    const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(pointer);
    for (int i = 0; i < 8; ++i)
        code->push_back(static_cast<BYTE>(value >> (8 * i)));
}

// mov rax, address; call rax, with the shadow room the callee may use
// (the stack is 16-aligned where this is put).
void CallFunction(std::vector<BYTE>* code, const void* function)
{
    code->insert(code->end(), {0x48, 0xB8});  // mov rax, function
    PutAddress(code, function);
    code->insert(code->end(), {0xFF, 0xD0});  // call rax
}
#else
DWORD Address(const void* pointer) { return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(pointer)); }
#endif

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
#ifdef _WIN64
    BYTE jump[kJumpSize] = {0xFF, 0x25};  // jmp [rip+0]: the address follows
    const ULONG_PTR destination = reinterpret_cast<ULONG_PTR>(remote);
    memcpy(jump + 6, &destination, sizeof destination);
#else
    BYTE jump[kJumpSize] = {0xE9};
    const DWORD displacement = Address(remote) - (Address(entry) + kJumpSize);
    memcpy(jump + 1, &displacement, sizeof displacement);
#endif
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
#ifdef _WIN64
    (void)argumentBytes;  // the caller clears the stack
    code.insert(code.end(), {0x48, 0x83, 0xEC, 0x28});  // sub rsp, 40
    code.push_back(0xB9);                               // mov ecx, error
    PutWord(&code, error);
    CallFunction(&code, setLastError);
    code.insert(code.end(), {0x48, 0x83, 0xC4, 0x28});  // add rsp, 40
    code.insert(code.end(), {0x31, 0xC0, 0xC3});        // xor eax, eax; ret
#else
    code.push_back(0x68);  // push error
    PutWord(&code, error);
    code.push_back(0xB8);  // mov eax, SetLastError
    PutWord(&code, Address(setLastError));
    code.insert(code.end(), {0xFF, 0xD0});  // call eax
    code.insert(code.end(), {0x31, 0xC0});  // xor eax, eax
    code.push_back(0xC2);                   // ret argumentBytes
    code.push_back(static_cast<BYTE>(argumentBytes));
    code.push_back(static_cast<BYTE>(argumentBytes >> 8));
#endif
    return JumpToCode(process, static_cast<BYTE*>(target), code);
}

// Puts the entry's own first bytes back, where the jump lay, and goes on there.
static void PutEntryBackAndGo(std::vector<BYTE>* code, BYTE* target)
{
#ifdef _WIN64
    code->insert(code->end(), {0x48, 0xB8});  // mov rax, entry
    PutAddress(code, target);
    for (size_t at = 0; at < kJumpSize; at += 2) {
        code->insert(code->end(), {0x66, 0xC7, 0x40, static_cast<BYTE>(at)});  // mov word [rax+at], bytes
        code->insert(code->end(), target + at, target + at + 2);
    }
    code->insert(code->end(), {0xFF, 0xE0});  // jmp rax
#else
    code->push_back(0xB8);  // mov eax, entry
    PutWord(code, Address(target));
    code->insert(code->end(), {0xC7, 0x00});  // mov dword [eax], bytes 0-3
    code->insert(code->end(), target, target + 4);
    code->insert(code->end(), {0xC6, 0x40, 0x04, target[4]});  // mov byte [eax+4], byte 4
    code->insert(code->end(), {0xFF, 0xE0});                     // jmp eax
#endif
}

// A fake's code, then the count of calls it has left to fake.
constexpr size_t kFakeCounterAt = 120;
constexpr size_t kFakeSize = kFakeCounterAt + 4;

std::string FakeEntry(HANDLE process, const char* library, const char* entry, DWORD answer, DWORD calls,
                      int argumentBytes)
{
    BYTE* target = static_cast<BYTE*>(EntryAddress(library, entry));
    if (!target)
        return std::string("no ") + entry + " here";
    BYTE* remote = static_cast<BYTE*>(VirtualAllocEx(process, nullptr, kFakeSize, MEM_COMMIT | MEM_RESERVE,
                                                     PAGE_EXECUTE_READWRITE));
    if (!remote)
        return "no room in the saver";
#ifdef _WIN64
    (void)argumentBytes;
    std::vector<BYTE> code = {0xFF, 0x0D};  // dec dword [rip+to the counter]
    PutWord(&code, kFakeCounterAt - 6);
    code.insert(code.end(), {0x78, 0x06, 0xB8});  // js over the fake answer; mov eax, answer
    PutWord(&code, answer);
    code.push_back(0xC3);  // ret
#else
    const DWORD counter = Address(remote) + kFakeCounterAt;  // the calls left to fake
    std::vector<BYTE> code = {0xFF, 0x0D};       // dec dword [counter]
    PutWord(&code, counter);
    code.insert(code.end(), {0x78, 0x08, 0xB8});  // js over the fake answer; mov eax, answer
    PutWord(&code, answer);
    code.push_back(0xC2);  // ret argumentBytes
    code.push_back(static_cast<BYTE>(argumentBytes));
    code.push_back(static_cast<BYTE>(argumentBytes >> 8));
#endif
    PutEntryBackAndGo(&code, target);
    code.resize(kFakeCounterAt);
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
#ifdef _WIN64
    // The entry's own arguments, in registers, kept across the sleep.
    code.insert(code.end(), {0x51, 0x52, 0x41, 0x50, 0x41, 0x51});  // push rcx, rdx, r8, r9
    code.insert(code.end(), {0x48, 0x83, 0xEC, 0x28});              // sub rsp, 40
    code.push_back(0xB9);                                           // mov ecx, delayMs
    PutWord(&code, delayMs);
    CallFunction(&code, sleep);
    code.insert(code.end(), {0x48, 0x83, 0xC4, 0x28});              // add rsp, 40
    code.insert(code.end(), {0x41, 0x59, 0x41, 0x58, 0x5A, 0x59});  // pop r9, r8, rdx, rcx
#else
    code.push_back(0x68);  // push delayMs
    PutWord(&code, delayMs);
    code.push_back(0xB8);  // mov eax, Sleep
    PutWord(&code, Address(sleep));
    code.insert(code.end(), {0xFF, 0xD0});  // call eax
#endif
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
#ifdef _WIN64
    std::vector<BYTE> code = {
        0x48, 0x85, 0xC9,  // test rcx, rcx: the job's handle
        0x75, 0x0A,        // jnz over the next instruction
        0x48, 0xB9,        // mov rcx, the job's handle in the saver
    };
    PutAddress(&code, jobThere);
    code.insert(code.end(), {0x48, 0x83, 0xEC, 0x38});              // sub rsp, 56
    code.insert(code.end(), {0x48, 0x8B, 0x44, 0x24, 0x60});        // mov rax, [rsp+96]: the fifth argument
    code.insert(code.end(), {0x48, 0x89, 0x44, 0x24, 0x20});        // mov [rsp+32], rax
    CallFunction(&code, query);
    code.insert(code.end(), {0x85, 0xC0, 0x75, 0x0A});              // test eax, eax; jnz to the failure
    code.insert(code.end(), {0xB8, 0x01, 0x00, 0x00, 0x00});        // mov eax, 1
    code.insert(code.end(), {0x48, 0x83, 0xC4, 0x38, 0xC3});        // add rsp, 56; ret
    code.insert(code.end(), {0x89, 0xC1});                          // mov ecx, eax
    CallFunction(&code, toError);
    code.insert(code.end(), {0x89, 0xC1});                          // mov ecx, eax
    CallFunction(&code, setLastError);
    code.insert(code.end(), {0x31, 0xC0, 0x48, 0x83, 0xC4, 0x38, 0xC3});  // xor eax, eax; add rsp, 56; ret
    return JumpToCode(process, target, code);
#else
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
#endif
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
