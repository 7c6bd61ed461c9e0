% Writes the Octave-made parameter files the parameter-file tests read:
%   cd tests/data/params && octave-cli --quiet make_octave_params.m
% octave_default_v7.mat / _v6.mat: the default parameter set and settings.
% octave_custom_v7.mat / _v6.mat: every field changed, a 16-bit user bit
%   stream, NA (a NaN with its own payload) as ProjectedLength, a title of the
%   panel's characters, and the optional playback fields BBfilter and ALC.
clear all;

function p = defaultParameters()
  p.ParameterFileFormat_ID = 'OneX-Rev - Format 1.1';
  p.RRIactive = 0;
  p.RRIvalue = 0;
  p.DRCactive = 0;
  p.DRCrelGain = 0;
  p.ACKactive = 0;
  p.ACKrelGain = 0;
  p.DATAactive = 0;
  p.DATArelGain = 0;
  p.EncoderActive = 1;
  p.DataRate = 1;
  p.DATASourceType = 6;
  p.DATASourceName = '';
  p.dataSourceBitstream = [];
  p.IMask = hex2dec('3FFFFFFFFFF');
  p.QMask = hex2dec('3FFFFFFFFFF');
  p.slot.ACKslotActive = ones(1, 16);
  p.slot.ACKslotValue = ones(1, 16);
  p.slot.DRCslotActive = ones(1, 17);
  p.slot.DRCslotValue = 15 * ones(1, 17);
  p.slot.DRCslotCover = 7 * ones(1, 17);
  p.OverSampling = 5;
  p.FilterType = 3;
  p.MirrorSpectrum = 0;
  p.ProjectedLength = 5 * 32768;
  p.LastPath = '';
end

function s = defaultSettings(overSampling)
  s.Title = 'OneX-Rev';
  s.Frequency = 2200000000;
  s.Amplitude = -30;
  s.SamplingRate = 1228800 * overSampling;
  s.ReconFilter = 2;
  s.RFblanking = 0;
  s.ArbRefSource = 0;
  s.MarkerPolarity = 0;
end

fileParameters = defaultParameters();
sigGenParameters = defaultSettings(5);
filename = '/data/octave_default.mat';
save('-v7', 'octave_default_v7.mat', 'fileParameters', 'filename', 'sigGenParameters');
save('-v6', 'octave_default_v6.mat', 'fileParameters', 'filename', 'sigGenParameters');

p = defaultParameters();
p.RRIactive = 1;
p.RRIvalue = 5;
p.DRCactive = 1;
p.DRCrelGain = -12.5;
p.ACKactive = 1;
p.ACKrelGain = 3.25;
p.DATAactive = 1;
p.DATArelGain = -30;
p.EncoderActive = 0;
p.DataRate = 4;
p.DATASourceType = 7;
p.DATASourceName = 'payload.bin';
p.dataSourceBitstream = [1 0 1 1 0 0 0 1 1 1 1 0 1 0 0 1];
p.IMask = hex2dec('123456789AB');
p.QMask = 0;
p.slot.ACKslotActive = [1 0 1 0 1 0 1 0 1 0 1 0 1 0 1 0];
p.slot.ACKslotValue = [0 0 1 1 0 0 1 1 0 0 1 1 0 0 1 1];
p.slot.DRCslotActive = [ones(1, 8) zeros(1, 9)];
p.slot.DRCslotValue = [0:15 9];
p.slot.DRCslotCover = [0:7 0:7 3];
p.OverSampling = 8;
p.FilterType = 1;
p.MirrorSpectrum = 1;
p.ProjectedLength = NA;
p.LastPath = '/home/user/waves/';
fileParameters = p;
s = defaultSettings(8);
s.Title = 'MY_WAVE-2[A]';
s.Frequency = 1.9e9;
s.Amplitude = -136;
s.ReconFilter = 4;
s.RFblanking = 1;
s.ArbRefSource = 1;
s.MarkerPolarity = 1;
s.BBfilter = 3;
s.ALC = 1;
sigGenParameters = s;
filename = '/data/octave_custom.mat';
save('-v7', 'octave_custom_v7.mat', 'fileParameters', 'filename', 'sigGenParameters');
save('-v6', 'octave_custom_v6.mat', 'fileParameters', 'filename', 'sigGenParameters');
