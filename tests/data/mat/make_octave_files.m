% Writes the Octave-made sample files the MAT-file tests read:
%   cd tests/data/mat && octave --no-gui --quiet make_octave_files.m
% Values chosen to cover what parameter, configuration and correction files
% hold: doubles, complex, text, empty values, NaN/Inf, nested structs,
% logicals, integers and cells.
clear all;
d = [1.5 -2 0; 4 5.25 -6];
z = [1+2i, -3.5-0.5i, 0+1i];
s = 'OneX-Rev - Format 1.1';
e = [];
es = '';
er = zeros(1, 0);
sp = [NaN Inf -Inf -0 1e-300];
lg = logical([1 0 1]);
i8 = int8([-128 0 127]);
u16 = uint16([0 65535]);
i64 = [int64(-9007199254740992) - 1, int64(5)];  % 2^53 + 1 needs integer arithmetic
sg = single([1.5 -0.25]);
cm = ['ab '; 'cde'];
st.zeta = 1;
st.alpha.deep = 'inner';
st.alpha.n = [1 2 3];
st.emptyField = [];
st.emptyText = '';
c = {1, 'two', {}, [1 2; 3 4]};
sa = struct('rev', {1, 2});
save('-v7', 'octave_v7.mat', 'd', 'z', 's', 'e', 'es', 'er', 'sp', 'lg', 'i8', 'u16', 'i64', 'sg', 'cm', 'st', 'c', 'sa');
save('-v6', 'octave_v6.mat', 'd', 'z', 's', 'e', 'es', 'er', 'sp', 'lg', 'i8', 'u16', 'i64', 'sg', 'cm', 'st', 'c', 'sa');
x4 = [1 2; 3 4];
t4 = 'abc';
save('-v4', 'octave_v4.mat', 'x4', 't4');
