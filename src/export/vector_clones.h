#pragma once
// Inner loops that run across many lanes are also built for AVX2 and picked when the processor has
// it (the default build targets plain x86-64, whose vectors are half as wide). No FMA: the results
// are the same bits either way.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(TAMO_NO_VECTOR_CLONES)
#define TAMO_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TAMO_VECTOR_CLONES
#endif
