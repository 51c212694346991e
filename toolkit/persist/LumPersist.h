#pragma once
// Streaming components: reading a binary form stream into a component and the components it
// owns, through the class descriptions of LumComponents, and writing a component back.

#include "toolkit/persist/LumComponents.h"

#include <string>

class TLumStream;

/// Reads one binary form stream into `root`: its properties, then its children, created by
/// class name (or, for inherited objects, found among root's components) and set by name.
/// Component references are resolved and Loaded is called on every component read once the
/// stream is done. A malformed stream, an unknown class or property, or a value of the wrong
/// kind raises EReadError "Error reading <Component>.<Property>: <what>"; objects nested more
/// than kFormMaxDepth deep (the root counting as one) raise EReadError "Form stream nested too
/// deeply".
void ReadComponent(TLumStream& stream, TLumComponent& root);

/// Streams in the form resources of `instance`: for each class from the first one below
/// `rootAncestor` down to `cls`, the RCDATA resource named after the class in upper case,
/// looked up through the active resource module. Raises EResNotFound "Resource %s not found"
/// with the class name when none of the classes has one.
void ReadFormResources(TLumComponent& instance, const TLumClass& cls,
                       const TLumClass& rootAncestor);

/// Writes `root` and the components it owns as a binary form stream: only the properties
/// that differ from their defaults, or, when `ancestor` is given, from the ancestor's values
/// (objects the ancestor has are then written as inherited).
void WriteComponent(TLumStream& stream, TLumComponent& root, TLumComponent* ancestor = nullptr);
