/*
 * onex_mx.h - the array type of OneX_Rev_b_lib and its C API.
 *
 * A compatible subset of the numeric platform's classic C array API: values
 * are column-major arrays of doubles with separate real and imaginary parts,
 * texts (char arrays), structures and cell arrays. A host written against
 * that API for such a library compiles unchanged against this header.
 *
 * Ownership
 * ---------
 * - Every array returned by an mxCreate* function, by mxDuplicateArray and
 *   every output of an mlf or mlx routine (OneX_Rev_b_lib.h) belongs to the
 *   caller, who frees it with mxDestroyArray. Destroying a structure or cell
 *   array frees everything in it.
 * - mxGetField and mxGetCell return a *borrowed* pointer to the element
 *   inside its parent: it stays valid until the parent is destroyed or that
 *   element is replaced, and must not be passed to mxSetField/mxSetCell of
 *   another array (a copy is stored if it is). Destroying a borrowed pointer
 *   empties that element of the parent (the classic "destroy, then set"
 *   idiom therefore works and never frees twice).
 * - mxSetField and mxSetCell take ownership of `value`: the caller must not
 *   destroy it afterwards, and the pointer stays usable as a borrowed pointer
 *   to the element. The element's previous value is freed. Passing NULL
 *   empties the element. When the call fails (not a structure or cell, index
 *   out of range, invalid field name, or `value` is the parent itself or one
 *   that contains it) nothing changes and `value` remains the caller's.
 * - mxGetPr, mxGetPi, mxGetData, mxGetDimensions and mxGetFieldNameByNumber
 *   return pointers into the array, valid while it lives (the field name
 *   pointers while the array lives, whatever fields are added later).
 * - mxArrayToString returns memory from malloc; free it with mxFree.
 *
 * Unlike the classic API, an element of a structure or cell array that was
 * never set reads as an empty 0x0 double, never as NULL: mxGetField returns
 * NULL only when the field, the index or the structure itself is missing.
 *
 * Every function accepts NULL for an array argument and then returns 0,
 * false or NULL; none of them prints, aborts or raises.
 *
 * Threads: arrays are thread-compatible. Different arrays may be used from
 * different threads at the same time. One array, together with everything
 * inside it and every borrowed pointer obtained from it, must be used by one
 * thread at a time; mxGetField and mxGetCell count as modifications.
 */
#ifndef ONEX_MX_H
#define ONEX_MX_H

#include <stdbool.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(ONEX_LIB_BUILDING)
#define ONEX_API __attribute__((visibility("default")))
#else
#define ONEX_API
#endif

typedef struct mxArray_tag mxArray;
typedef size_t mwSize;
typedef size_t mwIndex;

typedef enum { mxREAL = 0, mxCOMPLEX = 1 } mxComplexity;

/* --- creation (caller owns the result; NULL when out of memory) --- */

/* m x n doubles, all zero; complex when flag is mxCOMPLEX. */
ONEX_API mxArray* mxCreateDoubleMatrix(mwSize m, mwSize n, mxComplexity flag);
ONEX_API mxArray* mxCreateDoubleScalar(double value);
/* 1 x N char row from UTF-8 text; "" gives a 0 x 0 char. NULL for NULL. */
ONEX_API mxArray* mxCreateString(const char* str);
/* m x n structure array with the given fields, every element []. NULL for
   an invalid or repeated field name (a letter, then letters, digits or
   underscores, at most 63 characters). */
ONEX_API mxArray* mxCreateStructMatrix(mwSize m, mwSize n, int nfields, const char** fieldnames);
/* m x n cell array, every element []. */
ONEX_API mxArray* mxCreateCellMatrix(mwSize m, mwSize n);
/* A deep copy of any array (a borrowed one included). */
ONEX_API mxArray* mxDuplicateArray(const mxArray* pm);
/* Frees an array the caller owns (see Ownership). NULL is ignored. */
ONEX_API void mxDestroyArray(mxArray* pm);
/* Frees memory returned by mxArrayToString. */
ONEX_API void mxFree(void* ptr);

/* --- size and class --- */

ONEX_API mwSize mxGetM(const mxArray* pm);
/* Product of the dimensions after the first. */
ONEX_API mwSize mxGetN(const mxArray* pm);
ONEX_API mwSize mxGetNumberOfElements(const mxArray* pm);
ONEX_API mwSize mxGetNumberOfDimensions(const mxArray* pm);
ONEX_API const mwSize* mxGetDimensions(const mxArray* pm);
/* "double", "char", "struct", "cell", "int32", "logical", ... */
ONEX_API const char* mxGetClassName(const mxArray* pm);
ONEX_API bool mxIsDouble(const mxArray* pm);
ONEX_API bool mxIsComplex(const mxArray* pm);
ONEX_API bool mxIsNumeric(const mxArray* pm);
ONEX_API bool mxIsLogical(const mxArray* pm);
ONEX_API bool mxIsChar(const mxArray* pm);
ONEX_API bool mxIsStruct(const mxArray* pm);
ONEX_API bool mxIsCell(const mxArray* pm);
ONEX_API bool mxIsEmpty(const mxArray* pm);

/* --- values --- */

/* Real and imaginary parts of a double array (column-major); NULL for any
   other class, and mxGetPi NULL for a real array. Writable. */
ONEX_API double* mxGetPr(const mxArray* pm);
ONEX_API double* mxGetPi(const mxArray* pm);
/* The real part of any numeric, char or logical array in its own type. */
ONEX_API void* mxGetData(const mxArray* pm);
/* The first real element as a double (char and integer classes converted);
   0 for an empty array, a structure or a cell array. */
ONEX_API double mxGetScalar(const mxArray* pm);

/* --- text --- */

/* The characters of a char array (column-major) as UTF-8 in new memory
   (mxFree); NULL when pm is not a char array. */
ONEX_API char* mxArrayToString(const mxArray* pm);
/* The same copied into buf (at most buflen - 1 bytes and a terminating
   0). Returns 0, or 1 when pm is no char array or the text was cut. */
ONEX_API int mxGetString(const mxArray* pm, char* buf, mwSize buflen);

/* --- structures --- */

ONEX_API int mxGetNumberOfFields(const mxArray* pm);
/* Name of field n (0-based); NULL when out of range. */
ONEX_API const char* mxGetFieldNameByNumber(const mxArray* pm, int n);
/* Adds a field (every element []); returns its number, or -1. An existing
   field keeps its values and its number is returned. */
ONEX_API int mxAddField(mxArray* pm, const char* fieldname);
/* Borrowed pointer to field `fieldname` of element `index` (0-based). */
ONEX_API mxArray* mxGetField(const mxArray* pm, mwIndex index, const char* fieldname);
/* Stores `value` (ownership passes, see above); a missing field is added. */
ONEX_API void mxSetField(mxArray* pm, mwIndex index, const char* fieldname, mxArray* value);

/* --- cell arrays --- */

/* Borrowed pointer to element `index` (0-based, column-major). */
ONEX_API mxArray* mxGetCell(const mxArray* pm, mwIndex index);
/* Stores `value` (ownership passes, see above). */
ONEX_API void mxSetCell(mxArray* pm, mwIndex index, mxArray* value);

#ifdef __cplusplus
}
#endif

#endif /* ONEX_MX_H */
