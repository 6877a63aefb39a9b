#pragma once

#include <memory>

namespace vortan {

// Base of objects that others hold weakly (delegates). Every object carries a
// token that expires with it; a WeakRef checks the token before handing out
// the pointer. Everything runs on the main thread, so checking and using
// cannot race.
class WeaklyReferenced {
public:
    std::weak_ptr<const void> lifetimeToken() const { return m_token; }

protected:
    WeaklyReferenced() = default;
    // A copy is another object with its own token.
    WeaklyReferenced(const WeaklyReferenced&) {}
    WeaklyReferenced& operator=(const WeaklyReferenced&) { return *this; }
    ~WeaklyReferenced() = default;

    // Lets a derived class end its weak references at the start of its own
    // destructor, before its members go.
    void expireWeakReferences() { m_token.reset(); }

private:
    std::shared_ptr<const int> m_token = std::make_shared<const int>(0);
};

// A weak reference to a WeaklyReferenced object: get() is null once the
// object is gone.
template <typename T> class WeakRef {
public:
    WeakRef() = default;
    WeakRef(T* target) : m_target(target)
    {
        if (target)
            m_token = target->lifetimeToken();
    }

    T* get() const { return m_token.expired() ? nullptr : m_target; }
    explicit operator bool() const { return get() != nullptr; }

private:
    T* m_target = nullptr;
    std::weak_ptr<const void> m_token;
};

}  // namespace vortan
