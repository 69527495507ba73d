var
  f, g: Text;
  n, i: Integer;
  best, x: Int64;
begin
  Assign(f, 'MAX.INP'); Reset(f);
  Assign(g, 'MAX.OUT'); Rewrite(g);
  Read(f, n, best);
  for i := 2 to n do
  begin
    Read(f, x);
    if x > best then best := x;
  end;
  WriteLn(g, best);
  Close(f); Close(g);
end.
