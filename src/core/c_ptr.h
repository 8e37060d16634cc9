// Ownership of objects that a C library hands out and frees with a function
// of its own: cvx::CPtr<XineramaScreenInfo, XFree>, cvx::CPtr<GtkBuilder,
// g_object_unref>, cvx::CPtr<gchar, g_free>, cvx::CPtr<GError, g_error_free>.
#pragma once

#include <memory>

namespace cvx {

template <auto Free>
struct CFree {
    template <typename T>
    void operator()(T* p) const noexcept
    {
        if (p)
            Free(p);
    }
};

template <typename T, auto Free>
using CPtr = std::unique_ptr<T, CFree<Free>>;

}  // namespace cvx
