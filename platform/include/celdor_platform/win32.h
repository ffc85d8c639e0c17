// The Win32 subset that Celdor and its tools use, for systems other than Windows.
//
// Every declaration here mirrors the Windows SDK: the same names, sizes, values and calling
// rules. The functions are implemented by libceldor_platform over the simulated notebook
// (see notebook.h). Strings are UTF-16 (WCHAR is char16_t), so byte counts match Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

#if defined(_WIN32)
#error "celdor_platform/win32.h is the non-Windows stand-in; include the SDK headers on Windows"
#endif

#define CELDOR_PLATFORM_API extern "C" __attribute__((visibility("default")))
#define WINAPI

// --- Base types -----------------------------------------------------------------------------

typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t UINT;
typedef int32_t INT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef int64_t LONG_PTR;
typedef uint64_t ULONG_PTR;
typedef uint64_t SIZE_T;
typedef uint64_t DWORD64;
typedef char16_t WCHAR;
typedef char CHAR;
typedef LONG HRESULT;
typedef LONG LSTATUS;
typedef DWORD REGSAM;
typedef DWORD ACCESS_MASK;

typedef void* HANDLE;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef HANDLE HLOCAL;
typedef BYTE* LPBYTE;
typedef const BYTE* LPCBYTE;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;
typedef LONG* PLONG;
typedef BOOL* LPBOOL;
typedef WCHAR* LPWSTR;
typedef WCHAR* PWSTR;
typedef const WCHAR* LPCWSTR;
typedef const WCHAR* PCWSTR;
typedef CHAR* LPSTR;
typedef const CHAR* LPCSTR;

struct HKEY__ {
    int unused;
};
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;

typedef union _LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
} LARGE_INTEGER, *PLARGE_INTEGER;

typedef struct _GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
} GUID;
typedef GUID KNOWNFOLDERID;
#define REFKNOWNFOLDERID const KNOWNFOLDERID&

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define INVALID_SET_FILE_POINTER ((DWORD)-1)

// --- Error codes ----------------------------------------------------------------------------

#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_BAD_FORMAT 11L
#define ERROR_INVALID_DATA 13L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_NOT_READY 21L
#define ERROR_GEN_FAILURE 31L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_NEGATIVE_SEEK 131L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_BUSY 170L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_NOACCESS 998L
#define ERROR_KEY_DELETED 1018L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#define ERROR_DEVICE_NOT_CONNECTED 1167L
#define ERROR_NOT_FOUND 1168L
#define ERROR_INVALID_ACL 1336L
#define ERROR_INVALID_SECURITY_DESCR 1338L
#define ERROR_INVALID_USER_BUFFER 1784L

#define S_OK ((HRESULT)0L)
#define S_FALSE ((HRESULT)1L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define FACILITY_WIN32 7
#define HRESULT_FROM_WIN32(x)                                                                      \
    ((HRESULT)(x) <= 0 ? ((HRESULT)(x))                                                            \
                       : ((HRESULT)(((x)&0x0000FFFF) | (FACILITY_WIN32 << 16) | 0x80000000)))
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

// --- Last error, handles, memory ------------------------------------------------------------

CELDOR_PLATFORM_API DWORD WINAPI GetLastError(void);
CELDOR_PLATFORM_API void WINAPI SetLastError(DWORD dwErrCode);
CELDOR_PLATFORM_API BOOL WINAPI CloseHandle(HANDLE hObject);

#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
CELDOR_PLATFORM_API HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes);
CELDOR_PLATFORM_API HLOCAL WINAPI LocalFree(HLOCAL hMem);
CELDOR_PLATFORM_API LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb);
CELDOR_PLATFORM_API void WINAPI CoTaskMemFree(LPVOID pv);

// --- System information and clock -----------------------------------------------------------

CELDOR_PLATFORM_API ULONGLONG WINAPI GetTickCount64(void);
CELDOR_PLATFORM_API DWORD WINAPI GetTickCount(void);
CELDOR_PLATFORM_API void WINAPI Sleep(DWORD dwMilliseconds);

// The C runtime's 64-bit time functions, which read the notebook's wall clock.
typedef int64_t __time64_t;
typedef int errno_t;
CELDOR_PLATFORM_API __time64_t _time64(__time64_t* timer);
CELDOR_PLATFORM_API errno_t _localtime64_s(struct tm* result, const __time64_t* timer);

#define CP_ACP 0
#define CP_THREAD_ACP 3
#define CP_UTF8 65001
CELDOR_PLATFORM_API UINT WINAPI GetACP(void);
CELDOR_PLATFORM_API int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags,
                                                   LPCSTR lpMultiByteStr, int cbMultiByte,
                                                   LPWSTR lpWideCharStr, int cchWideChar);
CELDOR_PLATFORM_API int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags,
                                                   LPCWSTR lpWideCharStr, int cchWideChar,
                                                   LPSTR lpMultiByteStr, int cbMultiByte,
                                                   LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar);

// --- Files and known folders ----------------------------------------------------------------

#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL
#define GENERIC_EXECUTE 0x20000000UL
#define GENERIC_ALL 0x10000000UL
#define DELETE 0x00010000UL
#define READ_CONTROL 0x00020000UL
#define WRITE_DAC 0x00040000UL
#define WRITE_OWNER 0x00080000UL
#define SYNCHRONIZE 0x00100000UL
#define STANDARD_RIGHTS_READ READ_CONTROL
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#define STANDARD_RIGHTS_ALL 0x001F0000UL

#define FILE_READ_DATA 0x0001
#define FILE_WRITE_DATA 0x0002
#define FILE_APPEND_DATA 0x0004

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

typedef struct _SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;

CELDOR_PLATFORM_API HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess,
                                              DWORD dwShareMode,
                                              LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                              DWORD dwCreationDisposition,
                                              DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
CELDOR_PLATFORM_API BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                         LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
CELDOR_PLATFORM_API BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer,
                                          DWORD nNumberOfBytesToWrite,
                                          LPDWORD lpNumberOfBytesWritten,
                                          LPOVERLAPPED lpOverlapped);
CELDOR_PLATFORM_API DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
CELDOR_PLATFORM_API DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove,
                                                PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod);
CELDOR_PLATFORM_API BOOL WINAPI SetEndOfFile(HANDLE hFile);
CELDOR_PLATFORM_API BOOL WINAPI FlushFileBuffers(HANDLE hFile);
CELDOR_PLATFORM_API BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName,
                                                 LPSECURITY_ATTRIBUTES lpSecurityAttributes);
CELDOR_PLATFORM_API BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName);
CELDOR_PLATFORM_API BOOL WINAPI DeleteFileW(LPCWSTR lpFileName);
CELDOR_PLATFORM_API DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName);

#define KF_FLAG_DEFAULT 0x00000000
#define KF_FLAG_CREATE 0x00008000
CELDOR_PLATFORM_API const KNOWNFOLDERID FOLDERID_LocalAppData;
CELDOR_PLATFORM_API const KNOWNFOLDERID FOLDERID_RoamingAppData;
CELDOR_PLATFORM_API const KNOWNFOLDERID FOLDERID_ProgramData;
CELDOR_PLATFORM_API HRESULT WINAPI SHGetKnownFolderPath(REFKNOWNFOLDERID rfid, DWORD dwFlags,
                                                        HANDLE hToken, PWSTR* ppszPath);

// --- Device I/O -----------------------------------------------------------------------------

#define METHOD_BUFFERED 0
#define FILE_ANY_ACCESS 0
#define CTL_CODE(DeviceType, Function, Method, Access)                                             \
    (((DWORD)(DeviceType) << 16) | ((DWORD)(Access) << 14) | ((DWORD)(Function) << 2) |            \
     (DWORD)(Method))

CELDOR_PLATFORM_API BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode,
                                                LPVOID lpInBuffer, DWORD nInBufferSize,
                                                LPVOID lpOutBuffer, DWORD nOutBufferSize,
                                                LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped);

// --- Power management -----------------------------------------------------------------------

typedef struct _SYSTEM_POWER_STATUS {
    BYTE ACLineStatus;
    BYTE BatteryFlag;
    BYTE BatteryLifePercent;
    BYTE SystemStatusFlag;
    DWORD BatteryLifeTime;
    DWORD BatteryFullLifeTime;
} SYSTEM_POWER_STATUS, *LPSYSTEM_POWER_STATUS;

#define BATTERY_FLAG_HIGH 0x01
#define BATTERY_FLAG_LOW 0x02
#define BATTERY_FLAG_CRITICAL 0x04
#define BATTERY_FLAG_CHARGING 0x08
#define BATTERY_FLAG_NO_BATTERY 0x80
#define BATTERY_FLAG_UNKNOWN 0xff
#define BATTERY_PERCENTAGE_UNKNOWN 0xff
#define BATTERY_LIFE_UNKNOWN 0xffffffff

CELDOR_PLATFORM_API BOOL WINAPI GetSystemPowerStatus(LPSYSTEM_POWER_STATUS lpSystemPowerStatus);

// --- Registry -------------------------------------------------------------------------------

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_32KEY 0x0200
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_RES 0x0300
#define KEY_READ                                                                                   \
    ((STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY) & ~SYNCHRONIZE)
#define KEY_WRITE ((STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY) & ~SYNCHRONIZE)
#define KEY_EXECUTE ((KEY_READ) & ~SYNCHRONIZE)
#define KEY_ALL_ACCESS                                                                             \
    ((STANDARD_RIGHTS_ALL | KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY |                 \
      KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | KEY_CREATE_LINK) &                                     \
     ~SYNCHRONIZE)

#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L
#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_MULTI_SZ 7
#define REG_QWORD 11

CELDOR_PLATFORM_API LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD ulOptions,
                                                 REGSAM samDesired, PHKEY phkResult);
CELDOR_PLATFORM_API LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved,
                                                   LPWSTR lpClass, DWORD dwOptions,
                                                   REGSAM samDesired,
                                                   const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                                   PHKEY phkResult, LPDWORD lpdwDisposition);
CELDOR_PLATFORM_API LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName,
                                                    LPDWORD lpReserved, LPDWORD lpType,
                                                    LPBYTE lpData, LPDWORD lpcbData);
CELDOR_PLATFORM_API LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD Reserved,
                                                  DWORD dwType, const BYTE* lpData, DWORD cbData);
CELDOR_PLATFORM_API LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName);
CELDOR_PLATFORM_API LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey);
CELDOR_PLATFORM_API LSTATUS WINAPI RegFlushKey(HKEY hKey);
CELDOR_PLATFORM_API LSTATUS WINAPI RegCloseKey(HKEY hKey);

// --- Security descriptors, shell paths and private-profile files -----------------------------

#define ERROR_UNKNOWN_REVISION 1305L
#define ERROR_NONE_MAPPED 1332L
#define ERROR_INVALID_SID 1337L

typedef ULONG* PULONG;
typedef PVOID PSECURITY_DESCRIPTOR;
typedef WORD SECURITY_DESCRIPTOR_CONTROL;

#define STANDARD_RIGHTS_REQUIRED 0x000F0000UL
#define STANDARD_RIGHTS_EXECUTE READ_CONTROL
#define FILE_LIST_DIRECTORY 0x0001
#define FILE_ADD_FILE 0x0002
#define FILE_ADD_SUBDIRECTORY 0x0004
#define FILE_READ_EA 0x0008
#define FILE_WRITE_EA 0x0010
#define FILE_EXECUTE 0x0020
#define FILE_TRAVERSE 0x0020
#define FILE_DELETE_CHILD 0x0040
#define FILE_READ_ATTRIBUTES 0x0080
#define FILE_WRITE_ATTRIBUTES 0x0100
#define FILE_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x1FF)
#define FILE_GENERIC_READ                                                                          \
    (STANDARD_RIGHTS_READ | FILE_READ_DATA | FILE_READ_ATTRIBUTES | FILE_READ_EA | SYNCHRONIZE)
#define FILE_GENERIC_WRITE                                                                         \
    (STANDARD_RIGHTS_WRITE | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES | FILE_WRITE_EA |             \
     FILE_APPEND_DATA | SYNCHRONIZE)
#define FILE_GENERIC_EXECUTE                                                                       \
    (STANDARD_RIGHTS_EXECUTE | FILE_READ_ATTRIBUTES | FILE_EXECUTE | SYNCHRONIZE)

// Self-relative security descriptors: the header, then owner, group and DACL at byte offsets
// from its start.
typedef struct _SID_IDENTIFIER_AUTHORITY {
    BYTE Value[6];
} SID_IDENTIFIER_AUTHORITY, *PSID_IDENTIFIER_AUTHORITY;

typedef struct _SID {
    BYTE Revision;
    BYTE SubAuthorityCount;
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
    DWORD SubAuthority[1];
} SID, *PISID;
typedef PVOID PSID;

typedef struct _ACL {
    BYTE AclRevision;
    BYTE Sbz1;
    WORD AclSize;
    WORD AceCount;
    WORD Sbz2;
} ACL, *PACL;

typedef struct _ACE_HEADER {
    BYTE AceType;
    BYTE AceFlags;
    WORD AceSize;
} ACE_HEADER, *PACE_HEADER;

typedef struct _ACCESS_ALLOWED_ACE {
    ACE_HEADER Header;
    ACCESS_MASK Mask;
    DWORD SidStart;
} ACCESS_ALLOWED_ACE, *PACCESS_ALLOWED_ACE;

typedef struct _ACCESS_DENIED_ACE {
    ACE_HEADER Header;
    ACCESS_MASK Mask;
    DWORD SidStart;
} ACCESS_DENIED_ACE, *PACCESS_DENIED_ACE;

typedef struct _SECURITY_DESCRIPTOR_RELATIVE {
    BYTE Revision;
    BYTE Sbz1;
    SECURITY_DESCRIPTOR_CONTROL Control;
    DWORD Owner;
    DWORD Group;
    DWORD Sacl;
    DWORD Dacl;
} SECURITY_DESCRIPTOR_RELATIVE, *PISECURITY_DESCRIPTOR_RELATIVE;

#define SECURITY_DESCRIPTOR_REVISION 1
#define SID_REVISION 1
#define ACL_REVISION 2
#define SDDL_REVISION_1 1

#define SE_OWNER_DEFAULTED 0x0001
#define SE_GROUP_DEFAULTED 0x0002
#define SE_DACL_PRESENT 0x0004
#define SE_DACL_DEFAULTED 0x0008
#define SE_SACL_PRESENT 0x0010
#define SE_DACL_AUTO_INHERIT_REQ 0x0100
#define SE_DACL_AUTO_INHERITED 0x0400
#define SE_DACL_PROTECTED 0x1000
#define SE_SELF_RELATIVE 0x8000

#define ACCESS_ALLOWED_ACE_TYPE 0x0
#define ACCESS_DENIED_ACE_TYPE 0x1

#define OBJECT_INHERIT_ACE 0x01
#define CONTAINER_INHERIT_ACE 0x02
#define NO_PROPAGATE_INHERIT_ACE 0x04
#define INHERIT_ONLY_ACE 0x08
#define INHERITED_ACE 0x10

// Builds a self-relative descriptor from its text form; the result is freed with LocalFree.
CELDOR_PLATFORM_API BOOL WINAPI ConvertStringSecurityDescriptorToSecurityDescriptorW(
    LPCWSTR StringSecurityDescriptor, DWORD StringSDRevision,
    PSECURITY_DESCRIPTOR* SecurityDescriptor, PULONG SecurityDescriptorSize);

// (BOOL)FILE_ATTRIBUTE_DIRECTORY for an existing directory, FALSE otherwise.
CELDOR_PLATFORM_API BOOL WINAPI PathIsDirectoryW(LPCWSTR pszPath);

CELDOR_PLATFORM_API DWORD WINAPI GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName,
                                                          LPCWSTR lpDefault,
                                                          LPWSTR lpReturnedString, DWORD nSize,
                                                          LPCWSTR lpFileName);
CELDOR_PLATFORM_API BOOL WINAPI WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName,
                                                           LPCWSTR lpString, LPCWSTR lpFileName);

// --- Service control manager ----------------------------------------------------------------

struct SC_HANDLE__ {
    int unused;
};
typedef SC_HANDLE__* SC_HANDLE;
typedef SC_HANDLE* LPSC_HANDLE;

#define ERROR_CALL_NOT_IMPLEMENTED 120L
#define ERROR_INVALID_LEVEL 124L
#define ERROR_INVALID_ADDRESS 487L
#define ERROR_INVALID_SERVICE_CONTROL 1052L
#define ERROR_SERVICE_REQUEST_TIMEOUT 1053L
#define ERROR_SERVICE_ALREADY_RUNNING 1056L
#define ERROR_SERVICE_DOES_NOT_EXIST 1060L
#define ERROR_SERVICE_CANNOT_ACCEPT_CTRL 1061L
#define ERROR_SERVICE_NOT_ACTIVE 1062L
#define ERROR_DATABASE_DOES_NOT_EXIST 1065L
#define ERROR_SERVICE_NEVER_STARTED 1077L
#define RPC_S_SERVER_UNAVAILABLE 1722L

#define MAXIMUM_ALLOWED 0x02000000UL

#define SERVICES_ACTIVE_DATABASEW u"ServicesActive"
#define SERVICES_FAILED_DATABASEW u"ServicesFailed"

#define SC_MANAGER_CONNECT 0x0001
#define SC_MANAGER_CREATE_SERVICE 0x0002
#define SC_MANAGER_ENUMERATE_SERVICE 0x0004
#define SC_MANAGER_LOCK 0x0008
#define SC_MANAGER_QUERY_LOCK_STATUS 0x0010
#define SC_MANAGER_MODIFY_BOOT_CONFIG 0x0020
#define SC_MANAGER_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | 0x003F)

#define SERVICE_QUERY_CONFIG 0x0001
#define SERVICE_CHANGE_CONFIG 0x0002
#define SERVICE_QUERY_STATUS 0x0004
#define SERVICE_ENUMERATE_DEPENDENTS 0x0008
#define SERVICE_START 0x0010
#define SERVICE_STOP 0x0020
#define SERVICE_PAUSE_CONTINUE 0x0040
#define SERVICE_INTERROGATE 0x0080
#define SERVICE_USER_DEFINED_CONTROL 0x0100
#define SERVICE_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | 0x01FF)

#define SERVICE_CONTROL_STOP 0x00000001
#define SERVICE_CONTROL_PAUSE 0x00000002
#define SERVICE_CONTROL_CONTINUE 0x00000003
#define SERVICE_CONTROL_INTERROGATE 0x00000004
#define SERVICE_CONTROL_SHUTDOWN 0x00000005
#define SERVICE_CONTROL_PARAMCHANGE 0x00000006
#define SERVICE_CONTROL_NETBINDADD 0x00000007
#define SERVICE_CONTROL_NETBINDREMOVE 0x00000008
#define SERVICE_CONTROL_NETBINDENABLE 0x00000009
#define SERVICE_CONTROL_NETBINDDISABLE 0x0000000A

#define SERVICE_WIN32_OWN_PROCESS 0x00000010

#define SERVICE_STOPPED 0x00000001
#define SERVICE_START_PENDING 0x00000002
#define SERVICE_STOP_PENDING 0x00000003
#define SERVICE_RUNNING 0x00000004
#define SERVICE_CONTINUE_PENDING 0x00000005
#define SERVICE_PAUSE_PENDING 0x00000006
#define SERVICE_PAUSED 0x00000007

#define SERVICE_ACCEPT_STOP 0x00000001
#define SERVICE_ACCEPT_PAUSE_CONTINUE 0x00000002
#define SERVICE_ACCEPT_SHUTDOWN 0x00000004

typedef struct _SERVICE_STATUS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
} SERVICE_STATUS, *LPSERVICE_STATUS;

typedef struct _SERVICE_STATUS_PROCESS {
    DWORD dwServiceType;
    DWORD dwCurrentState;
    DWORD dwControlsAccepted;
    DWORD dwWin32ExitCode;
    DWORD dwServiceSpecificExitCode;
    DWORD dwCheckPoint;
    DWORD dwWaitHint;
    DWORD dwProcessId;
    DWORD dwServiceFlags;
} SERVICE_STATUS_PROCESS, *LPSERVICE_STATUS_PROCESS;

typedef enum _SC_STATUS_TYPE { SC_STATUS_PROCESS_INFO = 0 } SC_STATUS_TYPE;

CELDOR_PLATFORM_API SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR lpMachineName, LPCWSTR lpDatabaseName,
                                                    DWORD dwDesiredAccess);
CELDOR_PLATFORM_API SC_HANDLE WINAPI OpenServiceW(SC_HANDLE hSCManager, LPCWSTR lpServiceName,
                                                  DWORD dwDesiredAccess);
CELDOR_PLATFORM_API BOOL WINAPI QueryServiceStatusEx(SC_HANDLE hService, SC_STATUS_TYPE InfoLevel,
                                                     LPBYTE lpBuffer, DWORD cbBufSize,
                                                     LPDWORD pcbBytesNeeded);
CELDOR_PLATFORM_API BOOL WINAPI ControlService(SC_HANDLE hService, DWORD dwControl,
                                               LPSERVICE_STATUS lpServiceStatus);
CELDOR_PLATFORM_API BOOL WINAPI StartServiceW(SC_HANDLE hService, DWORD dwNumServiceArgs,
                                              LPCWSTR* lpServiceArgVectors);
CELDOR_PLATFORM_API BOOL WINAPI CloseServiceHandle(SC_HANDLE hSCObject);
// --- Power schemes (powrprof) ---------------------------------------------------------------
//
// The power management functions return their status (ERROR_SUCCESS or an error code) and leave
// the thread's last error alone.

#define ERROR_CALL_NOT_IMPLEMENTED 120L

typedef unsigned char UCHAR;
typedef unsigned short USHORT;
typedef UCHAR* PUCHAR;

// Two GUIDs are the same identifier when all their bytes are, as the SDK defines it for C++.
inline bool operator==(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           a.Data4[0] == b.Data4[0] && a.Data4[1] == b.Data4[1] && a.Data4[2] == b.Data4[2] &&
           a.Data4[3] == b.Data4[3] && a.Data4[4] == b.Data4[4] && a.Data4[5] == b.Data4[5] &&
           a.Data4[6] == b.Data4[6] && a.Data4[7] == b.Data4[7];
}
inline bool operator!=(const GUID& a, const GUID& b) {
    return !(a == b);
}

typedef enum _POWER_DATA_ACCESSOR {
    ACCESS_AC_POWER_SETTING_INDEX = 0,
    ACCESS_DC_POWER_SETTING_INDEX = 1,
    ACCESS_SCHEME = 16,
    ACCESS_SUBGROUP = 17,
    ACCESS_INDIVIDUAL_SETTING = 18,
    ACCESS_ACTIVE_SCHEME = 19,
    ACCESS_CREATE_SCHEME = 20,
} POWER_DATA_ACCESSOR,
    *PPOWER_DATA_ACCESSOR;

// The plans every installation has, and the subgroup and settings of the display.
CELDOR_PLATFORM_API const GUID GUID_TYPICAL_POWER_SAVINGS; // Balanced
CELDOR_PLATFORM_API const GUID GUID_MIN_POWER_SAVINGS;     // High performance
CELDOR_PLATFORM_API const GUID GUID_MAX_POWER_SAVINGS;     // Power saver
CELDOR_PLATFORM_API const GUID NO_SUBGROUP_GUID;
CELDOR_PLATFORM_API const GUID GUID_VIDEO_SUBGROUP;
CELDOR_PLATFORM_API const GUID GUID_VIDEO_POWERDOWN_TIMEOUT;
CELDOR_PLATFORM_API const GUID GUID_DEVICE_POWER_POLICY_VIDEO_BRIGHTNESS;

CELDOR_PLATFORM_API DWORD WINAPI PowerEnumerate(HKEY RootPowerKey, const GUID* SchemeGuid,
                                                const GUID* SubGroupOfPowerSettingsGuid,
                                                POWER_DATA_ACCESSOR AccessFlags, ULONG Index,
                                                UCHAR* Buffer, DWORD* BufferSize);
CELDOR_PLATFORM_API DWORD WINAPI PowerReadFriendlyName(HKEY RootPowerKey, const GUID* SchemeGuid,
                                                       const GUID* SubGroupOfPowerSettingsGuid,
                                                       const GUID* PowerSettingGuid, PUCHAR Buffer,
                                                       LPDWORD BufferSize);
// The active scheme in a LocalAlloc block that the caller frees with LocalFree.
CELDOR_PLATFORM_API DWORD WINAPI PowerGetActiveScheme(HKEY UserRootPowerKey,
                                                      GUID** ActivePolicyGuid);
CELDOR_PLATFORM_API DWORD WINAPI PowerSetActiveScheme(HKEY UserRootPowerKey,
                                                      const GUID* SchemeGuid);
CELDOR_PLATFORM_API DWORD WINAPI PowerReadACValue(HKEY RootPowerKey, const GUID* SchemeGuid,
                                                  const GUID* SubGroupOfPowerSettingsGuid,
                                                  const GUID* PowerSettingGuid, PULONG Type,
                                                  LPBYTE Buffer, LPDWORD BufferSize);
CELDOR_PLATFORM_API DWORD WINAPI PowerReadDCValue(HKEY RootPowerKey, const GUID* SchemeGuid,
                                                  const GUID* SubGroupOfPowerSettingsGuid,
                                                  const GUID* PowerSettingGuid, PULONG Type,
                                                  PUCHAR Buffer, LPDWORD BufferSize);
// Creating, naming, changing and deleting schemes. A duplicate whose *DestinationSchemeGuid is
// null gets a new GUID in a LocalAlloc block that the caller frees with LocalFree.
CELDOR_PLATFORM_API DWORD WINAPI PowerDuplicateScheme(HKEY RootPowerKey,
                                                      const GUID* SourceSchemeGuid,
                                                      GUID** DestinationSchemeGuid);
CELDOR_PLATFORM_API DWORD WINAPI PowerDeleteScheme(HKEY RootPowerKey, const GUID* SchemeGuid);
CELDOR_PLATFORM_API DWORD WINAPI PowerWriteFriendlyName(HKEY RootPowerKey, const GUID* SchemeGuid,
                                                        const GUID* SubGroupOfPowerSettingsGuid,
                                                        const GUID* PowerSettingGuid, UCHAR* Buffer,
                                                        DWORD BufferSize);
CELDOR_PLATFORM_API DWORD WINAPI PowerWriteACValueIndex(HKEY RootPowerKey, const GUID* SchemeGuid,
                                                        const GUID* SubGroupOfPowerSettingsGuid,
                                                        const GUID* PowerSettingGuid,
                                                        DWORD AcValueIndex);
CELDOR_PLATFORM_API DWORD WINAPI PowerWriteDCValueIndex(HKEY RootPowerKey, const GUID* SchemeGuid,
                                                        const GUID* SubGroupOfPowerSettingsGuid,
                                                        const GUID* PowerSettingGuid,
                                                        DWORD DcValueIndex);
// --- Device interfaces (setupapi) -----------------------------------------------------------

struct HWND__ {
    int unused;
};
typedef HWND__* HWND;
typedef PVOID HDEVINFO;
#define ANYSIZE_ARRAY 1

#define DIGCF_DEFAULT 0x00000001
#define DIGCF_PRESENT 0x00000002
#define DIGCF_ALLCLASSES 0x00000004
#define DIGCF_PROFILE 0x00000008
#define DIGCF_DEVICEINTERFACE 0x00000010

#define SPINT_ACTIVE 0x00000001
#define SPINT_DEFAULT 0x00000002
#define SPINT_REMOVED 0x00000004

typedef struct _SP_DEVINFO_DATA {
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
} SP_DEVINFO_DATA, *PSP_DEVINFO_DATA;

typedef struct _SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    ULONG_PTR Reserved;
} SP_DEVICE_INTERFACE_DATA, *PSP_DEVICE_INTERFACE_DATA;

typedef struct _SP_DEVICE_INTERFACE_DETAIL_DATA_W {
    DWORD cbSize;
    WCHAR DevicePath[ANYSIZE_ARRAY];
} SP_DEVICE_INTERFACE_DETAIL_DATA_W, *PSP_DEVICE_INTERFACE_DETAIL_DATA_W;

CELDOR_PLATFORM_API HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* ClassGuid, PCWSTR Enumerator,
                                                         HWND hwndParent, DWORD Flags);
CELDOR_PLATFORM_API BOOL WINAPI SetupDiEnumDeviceInterfaces(
    HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, const GUID* InterfaceClassGuid,
    DWORD MemberIndex, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData);
CELDOR_PLATFORM_API BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(
    HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_W DeviceInterfaceDetailData,
    DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData);
CELDOR_PLATFORM_API BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet);

// --- The battery class (batclass.h, poclass.h) ----------------------------------------------

// {72631E54-78A4-11D0-BCF7-00AA00B7B32A}: the battery device interface class.
CELDOR_PLATFORM_API const GUID GUID_DEVICE_BATTERY;

#define FILE_DEVICE_BATTERY 0x00000029
#define FILE_READ_ACCESS 0x0001
#define FILE_WRITE_ACCESS 0x0002
#define IOCTL_BATTERY_QUERY_TAG                                                                    \
    CTL_CODE(FILE_DEVICE_BATTERY, 0x10, METHOD_BUFFERED, FILE_READ_ACCESS)
#define IOCTL_BATTERY_QUERY_INFORMATION                                                            \
    CTL_CODE(FILE_DEVICE_BATTERY, 0x11, METHOD_BUFFERED, FILE_READ_ACCESS)

#define BATTERY_TAG_INVALID 0
#define BATTERY_SYSTEM_BATTERY 0x80000000
#define BATTERY_CAPACITY_RELATIVE 0x40000000
#define BATTERY_IS_SHORT_TERM 0x20000000

typedef enum {
    BatteryInformation,
    BatteryGranularityInformation,
    BatteryTemperature,
    BatteryEstimatedTime,
    BatteryDeviceName,
    BatteryManufactureDate,
    BatteryManufactureName,
    BatteryUniqueID,
    BatterySerialNumber
} BATTERY_QUERY_INFORMATION_LEVEL;

typedef struct _BATTERY_QUERY_INFORMATION {
    ULONG BatteryTag;
    BATTERY_QUERY_INFORMATION_LEVEL InformationLevel;
    LONG AtRate;
} BATTERY_QUERY_INFORMATION, *PBATTERY_QUERY_INFORMATION;

typedef struct _BATTERY_INFORMATION {
    ULONG Capabilities;
    BYTE Technology; // 0 primary, 1 rechargeable
    BYTE Reserved[3];
    BYTE Chemistry[4];
    ULONG DesignedCapacity;
    ULONG FullChargedCapacity;
    ULONG DefaultAlert1;
    ULONG DefaultAlert2;
    ULONG CriticalBias;
    ULONG CycleCount;
} BATTERY_INFORMATION, *PBATTERY_INFORMATION;

// The battery's state: IOCTL_BATTERY_QUERY_STATUS, asked with a BATTERY_WAIT_STATUS.
#define IOCTL_BATTERY_QUERY_STATUS                                                                 \
    CTL_CODE(FILE_DEVICE_BATTERY, 0x13, METHOD_BUFFERED, FILE_READ_ACCESS)

#define BATTERY_POWER_ON_LINE 0x00000001
#define BATTERY_DISCHARGING 0x00000002
#define BATTERY_CHARGING 0x00000004
#define BATTERY_CRITICAL 0x00000008
#define BATTERY_UNKNOWN_CAPACITY 0xFFFFFFFF
#define BATTERY_UNKNOWN_VOLTAGE 0xFFFFFFFF
#define BATTERY_UNKNOWN_RATE 0x80000000

typedef struct _BATTERY_WAIT_STATUS {
    ULONG BatteryTag;
    ULONG Timeout;
    ULONG PowerState;
    ULONG LowCapacity;
    ULONG HighCapacity;
} BATTERY_WAIT_STATUS, *PBATTERY_WAIT_STATUS;

typedef struct _BATTERY_STATUS {
    ULONG PowerState;
    ULONG Capacity; // mWh, or relative units
    ULONG Voltage;  // mV
    LONG Rate;      // mW, negative while discharging
} BATTERY_STATUS, *PBATTERY_STATUS;

typedef struct _BATTERY_MANUFACTURE_DATE {
    UCHAR Day;
    UCHAR Month;
    USHORT Year;
} BATTERY_MANUFACTURE_DATE, *PBATTERY_MANUFACTURE_DATE;
