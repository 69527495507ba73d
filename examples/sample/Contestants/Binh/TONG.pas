var
  a, b: Int64;
begin
  ReadLn(a, b);
  WriteLn(a + b);
end.
