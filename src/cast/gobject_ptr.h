#pragma once

#include "cast/gupnp_includes.h"

#include <utility>

namespace kinolark::cast {

// Owns one reference to a GObject.
template<typename T>
class GObjectPtr
{
public:
    GObjectPtr() = default;
    // Takes over a reference the caller already holds.
    explicit GObjectPtr(T *object) : m_object(object) {}
    GObjectPtr(const GObjectPtr &other) : m_object(other.m_object) { if (m_object) g_object_ref(m_object); }
    GObjectPtr(GObjectPtr &&other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    GObjectPtr &operator=(GObjectPtr other) noexcept { std::swap(m_object, other.m_object); return *this; }
    ~GObjectPtr() { if (m_object) g_object_unref(m_object); }

    // Adds a reference of its own.
    static GObjectPtr shared(T *object) { if (object) g_object_ref(object); return GObjectPtr(object); }

    T *get() const { return m_object; }
    explicit operator bool() const { return m_object != nullptr; }

private:
    T *m_object = nullptr;
};

} // namespace kinolark::cast
