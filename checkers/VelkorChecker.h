/* The checker plug-in interface of Velkor.
 *
 * A checker decides how much of a test's mark a contestant's output earns.
 * It is a shared library (ELF, built with -shared) whose file name ends in
 * ".dll", placed in the folder "~Judgers" beside the Velkor program; the file
 * name is the checker's name, which exams store and which the jury picks in
 * the exam settings. Velkor loads every such library at start-up and keeps
 * those that export the C function "Judge" declared below, under exactly
 * that name (a C++ function without extern "C" is exported under a mangled
 * name and is not found).
 *
 * After every test run in which the contestant's program ended with exit
 * code 0, Velkor calls Judge once:
 *
 *   ContestantFolder  the folder in which the program ran; it holds the
 *                     program's output files.
 *   JuryFolder        the test's folder, holding its input and answer files.
 *   OutputFileList    the exam's output file names as the jury typed them:
 *                     one name, or several separated by "|" (items may carry
 *                     blanks around them and may be empty).
 *   ExamName          the exam's name.
 *   JudgeText         out: before returning, store either NULL or the
 *                     address of a NUL-terminated verdict text.
 *
 * All strings are NUL-terminated UTF-16 (char16_t: 16 bits, unlike wchar_t
 * on Linux). Folders are absolute paths without a trailing "/". The file
 * system is case-sensitive while the names the jury types are not meant to
 * be: Velkor's own checkers find a listed file ignoring the case of ASCII
 * letters, and jury-written ones should do the same.
 *
 * The returned value is the fraction of the test's mark earned: the test
 * scores its mark times the value, unclamped, so 1 is full marks and 0 none.
 * A value that is not a finite number (NaN, infinity) scores 0.
 *
 * The verdict text stays owned by the plug-in. Velkor copies it at once and
 * never frees or keeps the pointer, so the text must stay valid until Judge
 * returns and may be reused by the next call; a static or thread-local
 * buffer is the usual choice. NULL counts as an empty verdict.
 *
 * Judge runs inside the Velkor process on its own stack: it must not crash,
 * must not let a C++ exception escape, must not change the working folder or
 * the process-wide locale, and should read the contestant's files in
 * streaming fashion, since a program may write gigabytes or nothing at all.
 * Velkor calls it from one thread at a time.
 */
#ifndef VELKOR_CHECKER_H
#define VELKOR_CHECKER_H

#ifdef __cplusplus
extern "C" {
#else
#include <uchar.h>
#endif

/* The type of the exported function. */
typedef double (*VelkorJudgeFunc)(const char16_t* ContestantFolder, const char16_t* JuryFolder,
                                  const char16_t* OutputFileList, const char16_t* ExamName,
                                  const char16_t** JudgeText);

/* Every plug-in defines this function; build it with default visibility
 * (it is, unless the build passes -fvisibility=hidden). */
__attribute__((visibility("default"))) double Judge(const char16_t* ContestantFolder, const char16_t* JuryFolder,
                                                    const char16_t* OutputFileList, const char16_t* ExamName,
                                                    const char16_t** JudgeText);

#ifdef __cplusplus
}
#endif

#endif /* VELKOR_CHECKER_H */
