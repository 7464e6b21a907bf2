#pragma once
// std_move_only_function: the program's move-only callable wrapper, used for callbacks into and
// out of the engine. It holds any callable that can be moved (lambdas owning unique_ptrs
// included); callables up to four pointers in size that move without throwing live in an
// inline buffer, so handing a light lambda to a text walk allocates nothing.
//
// Signatures R(Args...), R(Args...) const, and their noexcept forms are accepted; the call
// operator is const in every form, as std::function's is. Calling an empty wrapper throws
// std::bad_function_call.

#include <cstddef>
#include <functional>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace qiv::detail {

template <class R, class... Args>
class C_MoveOnlyFunctionBase {
public:
    C_MoveOnlyFunctionBase() noexcept = default;
    C_MoveOnlyFunctionBase(std::nullptr_t) noexcept {}

    template <class F, class D = std::decay_t<F>,
              class = std::enable_if_t<!std::is_same_v<D, C_MoveOnlyFunctionBase> &&
                                       !std::is_base_of_v<C_MoveOnlyFunctionBase, D> &&
                                       std::is_invocable_r_v<R, D&, Args...>>>
    C_MoveOnlyFunctionBase(F&& f) {
        if constexpr (std::is_pointer_v<D> || std::is_member_pointer_v<D>) {
            if (f == nullptr)
                return;
        } else if constexpr (
            requires(const D& d) { static_cast<bool>(d); } &&
            requires { typename D::result_type; }) {
            // An empty std::function (or similar) stays empty here too.
            if (!static_cast<bool>(f))
                return;
        }
        emplace_<D>(std::forward<F>(f));
    }

    C_MoveOnlyFunctionBase(C_MoveOnlyFunctionBase&& other) noexcept { takeFrom_(other); }

    C_MoveOnlyFunctionBase& operator=(C_MoveOnlyFunctionBase&& other) noexcept {
        if (this != &other) {
            reset_();
            takeFrom_(other);
        }
        return *this;
    }

    C_MoveOnlyFunctionBase& operator=(std::nullptr_t) noexcept {
        reset_();
        return *this;
    }

    template <class F, class D = std::decay_t<F>,
              class = std::enable_if_t<!std::is_same_v<D, C_MoveOnlyFunctionBase> &&
                                       !std::is_base_of_v<C_MoveOnlyFunctionBase, D> &&
                                       std::is_invocable_r_v<R, D&, Args...>>>
    C_MoveOnlyFunctionBase& operator=(F&& f) {
        C_MoveOnlyFunctionBase tmp(std::forward<F>(f));
        return *this = std::move(tmp);
    }

    C_MoveOnlyFunctionBase(const C_MoveOnlyFunctionBase&) = delete;
    C_MoveOnlyFunctionBase& operator=(const C_MoveOnlyFunctionBase&) = delete;

    ~C_MoveOnlyFunctionBase() { reset_(); }

    explicit operator bool() const noexcept { return m_ops != nullptr; }

    R operator()(Args... args) const {
        if (!m_ops)
            throw std::bad_function_call();
        return m_ops->invoke(const_cast<void*>(static_cast<const void*>(m_buf)),
                             std::forward<Args>(args)...);
    }

    void swap(C_MoveOnlyFunctionBase& other) noexcept {
        C_MoveOnlyFunctionBase tmp(std::move(other));
        other = std::move(*this);
        *this = std::move(tmp);
    }

    friend bool operator==(const C_MoveOnlyFunctionBase& f, std::nullptr_t) noexcept { return !f; }

private:
    static constexpr std::size_t kInlineSize = 4 * sizeof(void*);
    // Fixed by the pointer size rather than std::max_align_t, whose alignment depends on which
    // headers a source file includes on 32-bit Windows (8 or 16): the layout of every class
    // holding a wrapper must be the same in every source file.
    static constexpr std::size_t kInlineAlign = 2 * sizeof(void*);

    struct S_Ops {
        R (*invoke)(void* storage, Args&&... args);
        void (*moveTo)(void* from, void* to) noexcept;  // move-constructs into to, destroys from
        void (*destroy)(void* storage) noexcept;
    };

    template <class D>
    static constexpr bool kFitsInline =
        sizeof(D) <= kInlineSize &&
        alignof(D) <= kInlineAlign&& std::is_nothrow_move_constructible_v<D>;

    template <class D>
    static D& inlineObject_(void* storage) noexcept {
        return *std::launder(static_cast<D*>(storage));
    }
    template <class D>
    static D& heapObject_(void* storage) noexcept {
        return **static_cast<D**>(storage);
    }

    template <class D>
    static constexpr S_Ops kInlineOps{[](void* s, Args&&... args) -> R {
                                          return std::invoke(inlineObject_<D>(s),
                                                             std::forward<Args>(args)...);
                                      },
                                      [](void* from, void* to) noexcept {
                                          D& src = inlineObject_<D>(from);
                                          ::new (to) D(std::move(src));
                                          src.~D();
                                      },
                                      [](void* s) noexcept { inlineObject_<D>(s).~D(); }};

    template <class D>
    static constexpr S_Ops kHeapOps{
        [](void* s, Args&&... args) -> R {
            return std::invoke(heapObject_<D>(s), std::forward<Args>(args)...);
        },
        [](void* from, void* to) noexcept { ::new (to) D*(*static_cast<D**>(from)); },
        [](void* s) noexcept { delete *static_cast<D**>(s); }};

    template <class D, class F>
    void emplace_(F&& f) {
        if constexpr (kFitsInline<D>) {
            ::new (static_cast<void*>(m_buf)) D(std::forward<F>(f));
            m_ops = &kInlineOps<D>;
        } else {
            D* p = new D(std::forward<F>(f));
            ::new (static_cast<void*>(m_buf)) D*(p);
            m_ops = &kHeapOps<D>;
        }
    }

    void takeFrom_(C_MoveOnlyFunctionBase& other) noexcept {
        if (other.m_ops) {
            other.m_ops->moveTo(other.m_buf, m_buf);
            m_ops = other.m_ops;
            other.m_ops = nullptr;
        }
    }

    void reset_() noexcept {
        if (m_ops) {
            const S_Ops* ops = m_ops;
            m_ops = nullptr;
            ops->destroy(m_buf);
        }
    }

    alignas(kInlineAlign) mutable unsigned char m_buf[kInlineSize];
    const S_Ops* m_ops = nullptr;
};

}  // namespace qiv::detail

template <class Sig>
class std_move_only_function;

#define QIV_MOVE_ONLY_FUNCTION_FORM(QUALS)                                                \
    template <class R, class... Args>                                                     \
    class std_move_only_function<R(Args...) QUALS>                                        \
        : public qiv::detail::C_MoveOnlyFunctionBase<R, Args...> {                        \
        using Base = qiv::detail::C_MoveOnlyFunctionBase<R, Args...>;                     \
                                                                                          \
    public:                                                                               \
        using result_type = R;                                                            \
        using Base::Base;                                                                 \
        std_move_only_function() noexcept = default;                                      \
        std_move_only_function(std_move_only_function&&) noexcept = default;              \
        std_move_only_function& operator=(std_move_only_function&&) noexcept = default;   \
        std_move_only_function& operator=(std::nullptr_t) noexcept {                      \
            Base::operator=(nullptr);                                                     \
            return *this;                                                                 \
        }                                                                                 \
        template <class F, class = std::enable_if_t<                                      \
                               !std::is_same_v<std::decay_t<F>, std_move_only_function>>> \
        std_move_only_function& operator=(F&& f) {                                        \
            std_move_only_function tmp(std::forward<F>(f));                               \
            return *this = std::move(tmp);                                                \
        }                                                                                 \
        friend void swap(std_move_only_function& a, std_move_only_function& b) noexcept { \
            a.swap(b);                                                                    \
        }                                                                                 \
    };

QIV_MOVE_ONLY_FUNCTION_FORM()
QIV_MOVE_ONLY_FUNCTION_FORM(const)
QIV_MOVE_ONLY_FUNCTION_FORM(noexcept)
QIV_MOVE_ONLY_FUNCTION_FORM(const noexcept)

#undef QIV_MOVE_ONLY_FUNCTION_FORM
