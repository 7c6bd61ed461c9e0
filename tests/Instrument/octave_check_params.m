% Loads a parameter file written by onexrev-cli (see octave_params_check.sh)
% and checks names, classes, sizes and values as the script's command line
% set them; prints "all values match" when they do. Then saves the loaded
% variables again with save -v7 to the second argument.
function octave_check_params(file, resaved)
  ok = true;
  function check(cond, what)
    if ~cond
      printf('MISMATCH: %s\n', what);
      ok = false;
    end
  end
  s = load(file);
  check(isequal(fieldnames(s)', {'fileParameters', 'filename', 'sigGenParameters'}), 'variables');
  fp = s.fileParameters;
  names = {'ParameterFileFormat_ID', 'RRIactive', 'RRIvalue', 'DRCactive', 'DRCrelGain', ...
           'ACKactive', 'ACKrelGain', 'DATAactive', 'DATArelGain', 'EncoderActive', 'DataRate', ...
           'DATASourceType', 'DATASourceName', 'dataSourceBitstream', 'IMask', 'QMask', 'slot', ...
           'OverSampling', 'FilterType', 'MirrorSpectrum', 'ProjectedLength', 'LastPath', ...
           'IQGainImbalance', 'QuadratureError', 'CarrierLeakage', 'FreqError', 'FreqErrorSnap', ...
           'CNRatio', 'NoiseSeed'};
  check(isstruct(fp) && isequal(size(fp), [1 1]), 'fileParameters is a 1x1 struct');
  check(isequal(fieldnames(fp)', names), 'field order of fileParameters');
  for k = 1:numel(names)
    v = fp.(names{k});
    switch names{k}
      case {'ParameterFileFormat_ID', 'DATASourceName', 'LastPath'}
        check(ischar(v), [names{k} ' is char']);
      case 'slot'
        check(isstruct(v) && isequal(size(v), [1 1]), 'slot is a 1x1 struct');
      case 'dataSourceBitstream'
        check(isa(v, 'double') && isequal(size(v), [1 16]), 'bit stream is a 1x16 double');
      otherwise
        check(isa(v, 'double') && isreal(v) && isequal(size(v), [1 1]), [names{k} ' is a real double scalar']);
    end
  end
  check(strcmp(fp.ParameterFileFormat_ID, 'OneX-Rev - Format 1.1'), 'format identifier');
  check(fp.DRCactive == 1 && fp.DRCrelGain == -6.5, 'DRC');
  check(fp.DATASourceType == 7, 'DATASourceType');
  % Bytes A5 0F, least significant bit first.
  check(isequal(fp.dataSourceBitstream, [1 0 1 0 0 1 0 1 1 1 1 1 0 0 0 0]), 'bit stream');
  check(fp.IMask == hex2dec('123456789AB') && fp.QMask == hex2dec('3FFFFFFFFFF'), 'masks');
  check(isequal(fieldnames(fp.slot)', {'ACKslotActive', 'ACKslotValue', 'DRCslotActive', ...
                                       'DRCslotValue', 'DRCslotCover'}), 'slot fields');
  check(isequal(fp.slot.DRCslotValue, [0:15 3]), 'DRCslotValue');
  check(isequal(fp.slot.DRCslotCover, 7 * ones(1, 17)), 'DRCslotCover');
  check(isequal(size(fp.slot.ACKslotActive), [1 16]), 'ACKslotActive size');
  check(fp.OverSampling == 8 && isnan(fp.ProjectedLength), 'OverSampling, ProjectedLength');
  check(isempty(fp.DATASourceName) && isempty(fp.LastPath), 'empty texts');
  % Impairments: "off" is an infinity, stored as the double it is.
  check(fp.IQGainImbalance == -1.5 && fp.QuadratureError == 2.25, 'I/Q errors');
  check(fp.CarrierLeakage == -Inf && fp.FreqError == 1000 && fp.FreqErrorSnap == 0, 'leakage, frequency');
  check(fp.CNRatio == 17 && fp.NoiseSeed == 4294967295, 'C/N and seed');
  check(ischar(s.filename) && strcmp(s.filename, file), 'filename');
  sg = s.sigGenParameters;
  check(isequal(fieldnames(sg)', {'Title', 'Frequency', 'Amplitude', 'SamplingRate', ...
                                  'ReconFilter', 'RFblanking', 'ArbRefSource', 'MarkerPolarity', ...
                                  'BBfilter'}), 'settings fields');
  check(strcmp(sg.Title, 'MY_WAVE') && sg.Frequency == 1.9e9 && sg.Amplitude == -12, 'settings');
  check(sg.SamplingRate == 8 * 1228800 && sg.BBfilter == 2, 'sampling rate, BBfilter');
  if ok
    disp('all values match');
  end
  fileParameters = s.fileParameters;
  filename = s.filename;
  sigGenParameters = s.sigGenParameters;
  save('-v7', resaved, 'fileParameters', 'filename', 'sigGenParameters');
end
