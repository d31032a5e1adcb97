// The chroma terms of the SIMD kernels on 16-bit words, for any vector
// width: trunc((x - 128) * k / 32768) computed on |x - 128| and given the
// sign, equal to the colour tables' entries. Each kernel file supplies its
// width's operations and compiles this with its own instruction set.
#pragma once

namespace zarn {
namespace simd_x86 {
// Internal linkage: each kernel file keeps its own copy, compiled for its set.
namespace {

// `Ops` gives a width's vector type V and, on 16-bit words, Add, Sub, Xor,
// SignMask (an arithmetic shift right by 15), MulHigh (signed high half)
// and Splat. (Named by the operations: a vector type as a template
// argument would lose its attributes.)
template <class Ops>
struct TermVectors {
    typename Ops::V red;    // Vr
    typename Ops::V green;  // Ug + Vg
    typename Ops::V blue;   // Ub
};

template <class Ops>
[[gnu::always_inline]] inline TermVectors<Ops> TermsOfWords(typename Ops::V v_words,
                                                            typename Ops::V u_words) {
    using V = typename Ops::V;
    auto sign_of = [](V q, V mask) { return Ops::Sub(Ops::Xor(q, mask), mask); };
    auto minus_sign_of = [](V q, V mask) { return Ops::Sub(mask, Ops::Xor(q, mask)); };
    const V xv = Ops::Sub(v_words, Ops::Splat(128));
    const V xu = Ops::Sub(u_words, Ops::Splat(128));
    const V mv = Ops::SignMask(xv);
    const V mu = Ops::SignMask(xu);
    const V av = sign_of(xv, mv);  // |x|
    const V au = sign_of(xu, mu);
    const V av2 = Ops::Add(av, av);
    const V au2 = Ops::Add(au, au);
    // 52299 = 32768 + 19531 and 66101 = 65536 + 565 keep the multipliers in 15 bits.
    const V q_red = Ops::Add(av, Ops::MulHigh(av2, Ops::Splat(19531)));
    const V q_green_v = Ops::MulHigh(av2, Ops::Splat(26639));
    const V q_green_u = Ops::MulHigh(au2, Ops::Splat(12837));
    const V q_blue = Ops::Add(au2, Ops::MulHigh(au2, Ops::Splat(565)));
    return {sign_of(q_red, mv), Ops::Add(minus_sign_of(q_green_v, mv), minus_sign_of(q_green_u, mu)),
            sign_of(q_blue, mu)};
}

}  // namespace
}  // namespace simd_x86
}  // namespace zarn
