#pragma once

// Reference counting for the program's objects that are handed to the engine,
// and the smart pointer used on both sides of the boundary.

#include "engine/EngineInterfaces.h"

#include <initializer_list>

// Base of every program object the engine receives. It carries the reference
// count (starting at 0: the creator takes the first reference) and the
// virtual destructor through which such an object deletes itself; the
// interfaces themselves have no destructor slot.
//
// The count is a plain integer: the engine calls an object from the thread
// that runs the operation.
class CMyUnknownImp
{
public:
    CMyUnknownImp(const CMyUnknownImp&) = delete;
    CMyUnknownImp& operator=(const CMyUnknownImp&) = delete;

    // Objects of this kind alive in the process; lets tests see that every
    // object handed to the engine was released.
    static int liveObjects();

protected:
    CMyUnknownImp();
    virtual ~CMyUnknownImp();

    ULONG addReference() { return ++m_refCount; }
    ULONG releaseReference()
    {
        if (--m_refCount != 0)
            return m_refCount;
        delete this;
        return 0;
    }

    struct InterfaceEntry
    {
        const GUID& iid;
        void* object;
    };
    // Answers QueryInterface from the object's interfaces in the given order:
    // the first entry whose identifier matches is stored and referenced.
    // Anything else (the engine asks for newer interfaces) gets E_NOINTERFACE
    // and a null pointer.
    HRESULT answerQueryInterface(REFIID iid, void** outObject, std::initializer_list<InterfaceEntry> entries)
    {
        if (!outObject)
            return E_INVALIDARG;
        *outObject = nullptr;
        for (const InterfaceEntry& entry : entries) {
            if (entry.iid == iid) {
                *outObject = entry.object;
                addReference();
                return S_OK;
            }
        }
        return E_NOINTERFACE;
    }

    ULONG m_refCount = 0;
};

// Holds one reference to an interface of T's kind.
template <class T>
class CMyComPtr
{
public:
    CMyComPtr() = default;
    CMyComPtr(T* p) : m_p(p)
    {
        if (m_p)
            m_p->AddRef();
    }
    CMyComPtr(const CMyComPtr& other) : m_p(other.m_p)
    {
        if (m_p)
            m_p->AddRef();
    }
    CMyComPtr(CMyComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    ~CMyComPtr() { Release(); }

    CMyComPtr& operator=(T* p)
    {
        if (p)
            p->AddRef();
        T* old = m_p;
        m_p = p;
        if (old)
            old->Release();
        return *this;
    }
    CMyComPtr& operator=(const CMyComPtr& other) { return *this = other.m_p; }
    CMyComPtr& operator=(CMyComPtr&& other) noexcept
    {
        if (this != &other) {
            Release();
            m_p = other.m_p;
            other.m_p = nullptr;
        }
        return *this;
    }

    void Release()
    {
        if (m_p) {
            T* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }
    // Takes over a reference the caller already owns.
    void Attach(T* p)
    {
        Release();
        m_p = p;
    }
    // Gives the reference to the caller.
    T* Detach()
    {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }
    // For an out parameter that receives an already referenced object: the
    // current reference is released first.
    T** resetAndGetAddress()
    {
        Release();
        return &m_p;
    }

    T* get() const { return m_p; }
    operator T*() const { return m_p; }
    T* operator->() const { return m_p; }
    bool operator!() const { return m_p == nullptr; }

    template <class Q>
    HRESULT QueryInterface(REFIID iid, Q** out) const
    {
        if (!m_p) {
            if (out)
                *out = nullptr;
            return E_NOINTERFACE;
        }
        return m_p->QueryInterface(iid, reinterpret_cast<void**>(out));
    }
    template <class Q>
    HRESULT QueryInterface(REFIID iid, CMyComPtr<Q>& out) const
    {
        return QueryInterface(iid, out.resetAndGetAddress());
    }

private:
    T* m_p = nullptr;
};
