#pragma once
// Tests and actions of the chain entries, one group per statement family. The
// order in which they fire is fixed by the chain table (Translator.cpp); the
// families only say what a statement writes.

#include "compiler/Translator.h"

namespace m51::rules {

// Line forms shared by many keywords; the entry's text is the line or its prefix.
void FixedLine(CompileContext&, const Rule&);        // text
void WithWord(CompileContext&, const Rule&);         // text + w2
void WithNumber(CompileContext&, const Rule&);       // text + N(w2)
void AOrNumber(CompileContext&, const Rule&);        // text + "A", or text + "#" + N(w2) with w2

// Frame: procedures, directives, vectors, exits.
bool IsProcedureName(const CompileContext&);
void CallProcedure(CompileContext&, const Rule&);
void DefineBit(CompileContext&, const Rule&);
void Define(CompileContext&, const Rule&);
void StartProc(CompileContext&, const Rule&);
void ProcedureLabel(CompileContext&, const Rule&);
bool IsAsmLine(const CompileContext&);
void AsmLine(CompileContext&, const Rule&);
void EndProc(CompileContext&, const Rule&);
void InterruptVector(CompileContext&, const Rule&);
bool MentionsUntakenExit(const CompileContext&);
void ExitMention(CompileContext&, const Rule&);

// Conditions and loops.
bool StartsLoop(const CompileContext&);
void CountedLoop(CompileContext&, const Rule&);
bool HasBufferPrefix(const CompileContext&);
void BufferPrefix(CompileContext&, const Rule&);
void Condition(CompileContext&, const Rule&);
void BitWait(CompileContext&, const Rule&);
void WhileBit(CompileContext&, const Rule&);
void WhileAccumulator(CompileContext&, const Rule&);
void EndWhile(CompileContext&, const Rule&);
void Djnz(CompileContext&, const Rule&);
void CompareJump(CompileContext&, const Rule&);

// Data transfer.
bool IsReadOfOtherPlace(const CompileContext&);
void ReadOtherPlace(CompileContext&, const Rule&);
bool FirstTwoArePushA(const CompileContext&);
bool FirstTwoArePopA(const CompileContext&);
void WriteRam(CompileContext&, const Rule&);
void DataPointer(CompileContext&, const Rule&);
bool StartsCount(const CompileContext&);
void LoadCount(CompileContext&, const Rule&);
bool StartsWrCount(const CompileContext&);
void WriteCount(CompileContext&, const Rule&);
bool StartsRdCount(const CompileContext&);
void ReadCount(CompileContext&, const Rule&);
bool StartsWrBuffer(const CompileContext&);
void WriteBuffer(CompileContext&, const Rule&);
bool IsSfrRead(const CompileContext&);
void ReadSfr(CompileContext&, const Rule&);
bool IsSfrWrite(const CompileContext&);
void WriteSfr(CompileContext&, const Rule&);
void WriteAddress(CompileContext&, const Rule&);
bool W3Empty(const CompileContext&);
bool W3EmptyFar(const CompileContext&);
bool W3Given(const CompileContext&);
bool W3GivenFar(const CompileContext&);
void WriteNearVariable(CompileContext&, const Rule&);
void WriteFarVariable(CompileContext&, const Rule&);
void ReadNearVariable(CompileContext&, const Rule&);
void ReadFarVariable(CompileContext&, const Rule&);
void WriteNearValue(CompileContext&, const Rule&);
void WriteFarValue(CompileContext&, const Rule&);

// Arithmetic, logic and bits.
void BOrNumber(CompileContext&, const Rule&);

} // namespace m51::rules
