// Geometric transformations between a source rectangle and destination
// coordinates: the contract every concrete transformation fulfils, and two
// bound 2 x 2 determinant routines.
//
// A descendant overrides at least TransformFloatPoint (and
// ReverseTransformFloatPoint for the reverse mapping), computes its state in
// PrepareForTransform and sets TransformValid there; it may also override
// the fixed-point and integer mappings, which otherwise derive from the
// float ones, and GetTransformedBounds. Every Changed invalidates the
// prepared state, so the next Transform prepares again.
//
// C++ note for descendants: overriding one overload of Transform,
// ReverseTransform or GetTransformedBounds hides the others; bring them back
// with a using-declaration.
#pragma once

#include <stdexcept>

#include "graphics/Raster.h"
#include "graphics/RasterPersistents.h"
#include "graphics/Raster_Bindings.h"

namespace velkor::Raster_Transforms {

// A mapping the transformation does not provide.
class ETransformNotImplemented : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TTransformation : public TNotifiablePersistent {
 public:
  static const TClassInfo& StaticClass();
  const TClassInfo& ClassType() const override { return StaticClass(); }

  // Invalidates the prepared state, then reports the change.
  void Changed() override;

  const TFloatRect& SrcRect() const { return FSrcRect; }
  void SetSrcRect(const TFloatRect& Value);

  // Whether the source rectangle has transformed bounds at all.
  virtual bool HasTransformedBounds() const;
  // The bounds of ASrcRect after the transformation; the base returns it
  // unchanged.
  virtual TFloatRect GetTransformedBounds(const TFloatRect& ASrcRect);
  TFloatRect GetTransformedBounds() { return GetTransformedBounds(FSrcRect); }

  // Each prepares first when the prepared state is not current.
  virtual TPoint Transform(TPoint P);
  virtual TFixedPoint Transform(TFixedPoint P);
  virtual TFloatPoint Transform(TFloatPoint P);
  virtual TPoint ReverseTransform(TPoint P);
  virtual TFixedPoint ReverseTransform(TFixedPoint P);
  virtual TFloatPoint ReverseTransform(TFloatPoint P);

  // The prepared state is current; cleared by every change.
  bool TransformValid = false;

 protected:
  // Computes the descendant's state; the base has none.
  virtual void PrepareForTransform();

  // Through 16.16 and back with FixedToIntRound, so an exact half rounds
  // down. Coordinates beyond the 16.16 range (|v| >= 32768) cannot go
  // through it: they take the float mapping and the same rounding in 64
  // bits. Results beyond the 16.16 range saturate at its bounds.
  virtual void TransformInteger(int SrcX, int SrcY, int& DstX, int& DstY);
  // Through the float mapping; results rounded to nearest (ties to even),
  // saturated to the 16.16 range.
  virtual void TransformFixedPoint(TFixed SrcX, TFixed SrcY, TFixed& DstX, TFixed& DstY);
  // Raises ETransformNotImplemented "Forward transformation is not
  // implemented in <class>."
  virtual void TransformFloatPoint(float SrcX, float SrcY, float& DstX, float& DstY);

  virtual void ReverseTransformInteger(int DstX, int DstY, int& SrcX, int& SrcY);
  virtual void ReverseTransformFixedPoint(TFixed DstX, TFixed DstY, TFixed& SrcX, TFixed& SrcY);
  // Raises ETransformNotImplemented "Reverse transformation is not
  // implemented in <class>."
  virtual void ReverseTransformFloatPoint(float DstX, float DstY, float& SrcX, float& SrcY);

  TFloatRect FSrcRect;

 private:
  void PrepareIfNeeded();
};

// a * d - b * c, computed in extended precision and rounded to the result's
// type. Bound at start-up through "Raster_Transforms bindings".
using TDeterminant32 = float (*)(float a, float b, float c, float d);
using TDeterminant64 = double (*)(double a, double b, double c, double d);
extern TDeterminant32 Determinant32;
extern TDeterminant64 Determinant64;

inline constexpr int FID_DETERMINANT32 = 0;
inline constexpr int FID_DETERMINANT64 = 1;
// The module's registry while the module runs, else nullptr.
extern Raster_Bindings::TFunctionRegistry* TransformsRegistry;

// Start-up creates, fills and binds "Raster_Transforms bindings".
void Startup();
void Shutdown();

}  // namespace velkor::Raster_Transforms
