% Loads a file written by writeMatFile and checks values, classes and sizes.
% Called by octave_roundtrip.sh as: octave --eval "octave_check_export('file')"
function octave_check_export(file)
  v = load(file);
  fails = {};
  function check(ok, what)
    if ~ok
      fails{end+1} = what;
    end
  end
  check(isequal(v.d, [1.5 -2 0; 4 5.25 -6]) && strcmp(class(v.d), 'double'), 'd');
  check(isequal(v.z, [1+2i, -3.5-0.5i]) && iscomplex(v.z), 'z');
  check(ischar(v.s) && isequal(v.s, 'OneX-Rev - Format 1.1'), 's');
  check(isa(v.e, 'double') && isequal(size(v.e), [0 0]), 'e');
  check(ischar(v.es) && isequal(size(v.es), [0 0]), 'es');
  check(isa(v.er, 'double') && isequal(size(v.er), [1 0]), 'er');
  check(isnan(v.sp(1)) && v.sp(2) == Inf && v.sp(3) == -Inf && isequal(size(v.sp), [1 3]), 'sp');
  check(islogical(v.lg) && isequal(v.lg, logical([1 0 1])), 'lg');
  check(isa(v.i8, 'int8') && isequal(v.i8, int8([-128 127])), 'i8');
  check(ischar(v.cm) && isequal(v.cm, ['ab '; 'cde']), 'cm');
  check(isstruct(v.st) && isequal(fieldnames(v.st), {'zeta'; 'alpha'; 'emptyField'; 'emptyText'}), 'st fields');
  check(isequal(v.st.zeta, 1) && isstruct(v.st.alpha) && strcmp(v.st.alpha.deep, 'inner'), 'st nested');
  check(isequal(size(v.st.emptyField), [0 0]) && isa(v.st.emptyField, 'double'), 'st.emptyField');
  check(ischar(v.st.emptyText) && isempty(v.st.emptyText), 'st.emptyText');
  check(iscell(v.c) && isequal(size(v.c), [1 3]) && isequal(v.c{1}, 1) && strcmp(v.c{2}, 'two') ...
        && iscell(v.c{3}) && isempty(v.c{3}), 'c');
  if isempty(fails)
    printf('%s: all values match\n', file);
  else
    printf('%s: MISMATCH in %s\n', file, strjoin(fails, ', '));
    exit(1);
  end
end
