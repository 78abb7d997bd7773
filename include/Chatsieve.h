// Chatsieve: screens lines of player chat for banned expressions.
//
// A host loads the library, calls CreateChatsieve once, calls FilterText for
// every line a player types and Uninit when it is done. The rules are read at
// creation from "Data\Scp\Chatsieve.res", relative to the working directory,
// through the package library "Packhold.dll" that must sit beside the filter.
//
// Text is NUL-terminated bytes in the ANSI code page (936 on the target
// systems). One filter per process: create a new one only before the first or
// after Uninit on the last. Calls are not thread-safe; use one thread at a time.
// The object is never freed by the interface; the library frees it when it is
// unloaded.
#ifndef CHATSIEVE_H
#define CHATSIEVE_H

// CreateChatsieve is a plain C function with the C calling convention (named
// so here, since a host may compile with another default); IChatsieve's
// operations use the compiler's member convention (thiscall on 32-bit Windows).
#if defined(_WIN32)
#define CHATSIEVE_CALL __cdecl
#if defined(CHATSIEVE_BUILDING_LIBRARY)
#define CHATSIEVE_API __declspec(dllexport)
#else
#define CHATSIEVE_API __declspec(dllimport)
#endif
#else
#define CHATSIEVE_CALL
#define CHATSIEVE_API __attribute__((visibility("default")))
#endif

class IChatsieve {
public:
    // Shuts the filter down: writes out the stored player-words log, destroys
    // the rules. FilterText still answers afterwards, finding nothing.
    virtual void Uninit() = 0;

    // Returns the highest level of any banned expression in `text`, 0 for none,
    // and 0 for a null `text` or a negative `minLevel`. When `out` is not null,
    // copies at most `outSize` bytes of `text` (its terminator counting as one)
    // into `out`, never splitting a two-byte character, and replaces with '*'
    // every byte of every expression of level `minLevel` or more. A zero byte
    // is written after the copied bytes: `out` must hold `outSize` + 1 bytes.
    //
    // Fails closed: when the line cannot be checked for want of memory, the
    // answer is the highest level the loaded rules hold, and every byte of the
    // copy in `out` is '*' (unless no rule reaches `minLevel`, when nothing
    // could be masked anyway). The line is logged as usual. Lines of up to
    // 4 KiB are checked in buffers taken at creation.
    virtual int FilterText(const char* text, char* out, unsigned int outSize, int minLevel) = 0;

protected:
    ~IChatsieve() = default;
};

// Creates and initialises the filter. Returns 1 and stores the filter through
// `filter`; returns 0 and leaves `*filter` untouched when the rules cannot be
// loaded.
extern "C" CHATSIEVE_API int CHATSIEVE_CALL CreateChatsieve(IChatsieve** filter);

#endif
