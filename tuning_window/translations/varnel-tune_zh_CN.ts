<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1">
<context>
    <name>varnel::ElementBars</name>
    <message>
        <source>Resonator %1: %2 % of BW (tolerance %3 %)</source>
        <translation>第 %1 腔：带宽的 %2 %（容差 %3 %）</translation>
    </message>
    <message>
        <source>%1: %2 % (tolerance %3 %)</source>
        <translation>%1：%2 %（容差 %3 %）</translation>
    </message>
    <message>
        <source>+tol</source>
        <translation>+容差</translation>
    </message>
    <message>
        <source>−tol</source>
        <translation>−容差</translation>
    </message>
    <message>
        <source>Resonators (% of BW)</source>
        <translation>谐振腔（带宽的 %）</translation>
    </message>
    <message>
        <source>Couplings (%)</source>
        <translation>耦合（%）</translation>
    </message>
</context>
<context>
    <name>varnel::ConnectDialog</name>
    <message>
        <source>&amp;Reply timeout:</source>
        <translation>应答超时(&amp;R)：</translation>
    </message>
    <message>
        <source>S&amp;weep timeout:</source>
        <translation>扫描超时(&amp;W)：</translation>
    </message>
    <message>
        <source>Connect to analyser</source>
        <translation>连接分析仪</translation>
    </message>
    <message>
        <source>&amp;Analyser:</source>
        <translation>分析仪(&amp;A)：</translation>
    </message>
    <message>
        <source>&amp;Host:</source>
        <translation>主机(&amp;H)：</translation>
    </message>
    <message>
        <source>&amp;Port:</source>
        <translation>端口(&amp;P)：</translation>
    </message>
    <message>
        <source>Serial &amp;device:</source>
        <translation>串口设备(&amp;D)：</translation>
    </message>
    <message>
        <source>&amp;Connect</source>
        <translation>连接(&amp;C)</translation>
    </message>
    <message>
        <source>SCPI analyser (raw socket)</source>
        <translation>SCPI 分析仪(原始套接字)</translation>
    </message>
    <message>
        <source>LibreVNA (its GUI's SCPI server)</source>
        <translation>LibreVNA(其 GUI 的 SCPI 服务器)</translation>
    </message>
    <message>
        <source>&amp;Family:</source>
        <translation>系列(&amp;F)：</translation>
    </message>
    <message>
        <source>Found from its identity</source>
        <translation>按其标识自动识别</translation>
    </message>
    <message>
        <source>Keysight ENA, Copper Mountain</source>
        <translation>是德 ENA、Copper Mountain</translation>
    </message>
    <message>
        <source>Keysight PNA, E5080</source>
        <translation>是德 PNA、E5080</translation>
    </message>
    <message>
        <source>Rohde &amp; Schwarz ZNB, ZNA</source>
        <translation>罗德与施瓦茨 ZNB、ZNA</translation>
    </message>
    <message>
        <source>NanoVNA (USB serial)</source>
        <translation>NanoVNA(USB 串口)</translation>
    </message>
</context>
<context>
    <name>varnel::MarkerPanel</name>
    <message>
        <source>Marker</source>
        <translation>标记</translation>
    </message>
    <message>
        <source>MHz</source>
        <translation>MHz</translation>
    </message>
    <message>
        <source>Measured (ns)</source>
        <translation>实测 (ns)</translation>
    </message>
    <message>
        <source>Target (ns)</source>
        <translation>目标 (ns)</translation>
    </message>
    <message>
        <source>Difference (ns)</source>
        <translation>差值 (ns)</translation>
    </message>
    <message>
        <source>Difference (%)</source>
        <translation>差值 (%)</translation>
    </message>
    <message>
        <source>|S11| (dB)</source>
        <translation>|S11| (dB)</translation>
    </message>
    <message>
        <source>Memory (ns)</source>
        <translation>记忆 (ns)</translation>
    </message>
    <message>
        <source>− memory (ns)</source>
        <translation>减记忆 (ns)</translation>
    </message>
    <message>
        <source>off the trace</source>
        <translation>不在曲线上</translation>
    </message>
    <message>
        <source>Δ%1–1</source>
        <translation>Δ%1–1</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <location filename="../../tuning_window/tuning_session.cpp" line="163"/>
        <location filename="../../tuning_window/tuning_session.cpp" line="174"/>
        <source>Cannot write %1: %2</source>
        <translation>无法写入 %1：%2</translation>
    </message>
</context>
<context>
    <name>varnel::StageTableModel</name>
    <message>
        <location filename="../../tuning_window/stage_table_model.cpp" line="71"/>
        <source>Stage</source>
        <translation>调试级</translation>
    </message>
    <message>
        <location filename="../../tuning_window/stage_table_model.cpp" line="73"/>
        <source>g</source>
        <translation>g</translation>
    </message>
    <message>
        <location filename="../../tuning_window/stage_table_model.cpp" line="75"/>
        <source>Target delay (ns)</source>
        <translation>目标时延 (ns)</translation>
    </message>
    <message>
        <location filename="../../tuning_window/stage_table_model.cpp" line="77"/>
        <source>Coupling to next</source>
        <translation>与下一腔耦合</translation>
    </message>
    <message>
        <location filename="../../tuning_window/stage_table_model.cpp" line="79"/>
        <source>External Q</source>
        <translation>外部 Q</translation>
    </message>
</context>
<context>
    <name>varnel::TuneWindow</name>
    <message>
        <source>Tuning plan</source>
        <translation>调整方案</translation>
    </message>
    <message>
        <source>the reply stopped after %1 bytes: nothing more within %2 ms</source>
        <translation>应答在 %1 字节后中断：%2 ms 内无后续数据</translation>
    </message>
    <message>
        <source>the block declares %1 bytes, more than the %2 a sweep of up to %3 points needs</source>
        <translation>数据块声明 %1 字节，超过最多 %3 点的扫描所需的 %2 字节</translation>
    </message>
    <message>
        <source>the reply runs past %1 bytes, more than a sweep of up to %2 points needs</source>
        <translation>应答超过 %1 字节，多于最多 %2 点的扫描所需</translation>
    </message>
    <message>
        <source>value %1 is 9.91E37 or 9.9E37, the analyser's mark for no data: not a number</source>
        <translation>第 %1 个值为 9.91E37 或 9.9E37，即分析仪的无数据标记：不是数字</translation>
    </message>
    <message>
        <source>in-line</source>
        <translation>直列</translation>
    </message>
    <message>
        <source>folded</source>
        <translation>折叠</translation>
    </message>
    <message>
        <source>cascaded triplets</source>
        <translation>级联三元组</translation>
    </message>
    <message>
        <source>cascaded quadruplets</source>
        <translation>级联四元组</translation>
    </message>
    <message>
        <source>The zero at %1 MHz is not above 0 MHz.</source>
        <translation>%1 MHz 处的零点不大于 0 MHz。</translation>
    </message>
    <message>
        <source>The zero at %1 MHz is inside the band: a transmission zero lies beside it, outside.</source>
        <translation>%1 MHz 处的零点在通带内：传输零点应位于通带之外。</translation>
    </message>
    <message>
        <source>An in-line filter makes no transmission zeros: choose the folded topology.</source>
        <translation>直列滤波器不产生传输零点：请选择折叠拓扑。</translation>
    </message>
    <message>
        <source>With the %1 topology a filter of this order makes at most %2 transmission zeros.</source>
        <translation>采用%1拓扑时，此阶数的滤波器最多产生 %2 个传输零点。</translation>
    </message>
    <message>
        <source>Cascaded quadruplets make symmetric pairs: the zero at %1 MHz and the zero after it are not one (f1 x f2 = f0^2).</source>
        <translation>级联四元组产生对称零点对：%1 MHz 处的零点与其后的零点不成对（f1 x f2 = f0^2）。</translation>
    </message>
    <message>
        <source>The coupling list names resonator %1, beyond the order.</source>
        <translation>耦合列表提到谐振器 %1，超出了阶数。</translation>
    </message>
    <message>
        <source>The %1 topology cannot realise these zeros: list them in another order or choose the folded topology.</source>
        <translation>%1拓扑无法实现这些零点：请换一种顺序列出，或选择折叠拓扑。</translation>
    </message>
    <message>
        <source>The synthesis of this order loses its precision: its matrix misses the response.</source>
        <translation>此阶数的综合失去精度：其矩阵与响应不符。</translation>
    </message>
    <message>
        <source>Enter the zeros in MHz separated by commas, with a decimal point.</source>
        <translation>请输入以 MHz 为单位、用逗号分隔的零点，使用小数点。</translation>
    </message>
    <message>
        <source>Enter inline, folded, ct, cq or a list of couplings such as 1-2,2-3,1-3.</source>
        <translation>请输入 inline、folded、ct、cq 或耦合列表，例如 1-2,2-3,1-3。</translation>
    </message>
    <message>
        <source>Coupling diagram</source>
        <translation>耦合图</translation>
    </message>
    <message>
        <source>The stage-by-stage targets are for in-line filters: with transmission zeros the method tunes the main line only; tune the whole filter instead.</source>
        <translation>逐级目标只适用于直列滤波器：有传输零点时此方法只调主耦合线；请改为调整整机滤波器。</translation>
    </message>
    <message>
        <source>a block starts with &apos;#&apos;</source>
        <translation>数据块应以 &apos;#&apos; 开头</translation>
    </message>
    <message>
        <source>an indefinite-length block (#0) cannot be framed on a socket</source>
        <translation>不定长数据块（#0）无法在套接字上分帧</translation>
    </message>
    <message>
        <source>the block&apos;s length digit is not 1 to 9</source>
        <translation>数据块的长度位数不是 1 到 9</translation>
    </message>
    <message>
        <source>the block&apos;s byte count is not a number</source>
        <translation>数据块的字节数不是数字</translation>
    </message>
    <message>
        <source>the block is not ended by a line feed after its %1 bytes</source>
        <translation>数据块的 %1 个字节之后没有换行符结束</translation>
    </message>
    <message>
        <source>value %1 is not a number</source>
        <translation>第 %1 个值不是数字</translation>
    </message>
    <message>
        <source>a block of doubles whose length is not a multiple of 8</source>
        <translation>双精度数据块的长度不是 8 的倍数</translation>
    </message>
    <message>
        <source>%1 frequencies but %2 data values (two a frequency expected)</source>
        <translation>%1 个频率，却有 %2 个数据值（每个频率应有两个）</translation>
    </message>
    <message>
        <source>the frequencies do not rise at point %1</source>
        <translation>频率在第 %1 点处没有递增</translation>
    </message>
    <message>
        <source>value %1 is not a finite number</source>
        <translation>第 %1 个值不是有限数</translation>
    </message>
    <message>
        <source>a sweep needs at least 2 points, the analyser sent %1</source>
        <translation>扫描至少需要 2 个点，分析仪只发送了 %1 个</translation>
    </message>
    <message>
        <source>the scan declares %1 points of mask %2, not the %3 of mask %4 asked for</source>
        <translation>扫描声明了 %1 个点、掩码 %2，而不是所请求的 %3 个点、掩码 %4</translation>
    </message>
    <message>
        <source>the scan&apos;s %1 points are not followed by the prompt</source>
        <translation>扫描的 %1 个点之后没有提示符</translation>
    </message>
    <message>
        <source>the NanoVNA does not know %1</source>
        <translation>NanoVNA 不认识 %1</translation>
    </message>
    <message>
        <source>the NanoVNA answered %1</source>
        <translation>NanoVNA 回答了 %1</translation>
    </message>
    <message>
        <source>point %1 of the scan is %2</source>
        <translation>扫描的第 %1 点是 %2</translation>
    </message>
    <message>
        <source>the sweep settings are %1, not START STOP POINTS</source>
        <translation>扫描设置是 %1，而不是 START STOP POINTS</translation>
    </message>
    <message>
        <source>the scan command is longer than the shell takes</source>
        <translation>扫描命令超过了命令行所能接受的长度</translation>
    </message>
    <message>
        <source>the analyser has no points to send</source>
        <translation>分析仪没有可发送的点</translation>
    </message>
    <message>
        <source>the reply is not Touchstone: %1</source>
        <translation>回复不是 Touchstone 格式：%1</translation>
    </message>
    <message>
        <source>no trace measures S11</source>
        <translation>没有测量 S11 的迹线</translation>
    </message>
    <message>
        <source>the acquisition&apos;s points are %1, not a count</source>
        <translation>采集点数是 %1，不是一个数目</translation>
    </message>
    <message>
        <source>the Touchstone reply has %1 points, not the %2 of the acquisition</source>
        <translation>Touchstone 回复有 %1 个点，不是采集的 %2 个点</translation>
    </message>
    <message>
        <source>the scan&apos;s binary reply stopped after %1 of its %2 bytes (%3 points)</source>
        <translation>扫描的二进制回复在 %2 字节（%3 个点）中的 %1 字节后中断</translation>
    </message>
    <message>
        <source>the scan stopped after %1 of its %2 points</source>
        <translation>扫描在 %2 个点中的 %1 个点后中断</translation>
    </message>
    <message>
        <source>the NanoVNA did not echo the command; it sent %1</source>
        <translation>NanoVNA 没有回显命令；它发送了 %1</translation>
    </message>
    <message>
        <source>the analyser takes no more bytes: nothing sent within 5000 ms</source>
        <translation>分析仪不再接收数据：5000 ms 内未能发送</translation>
    </message>
    <message>
        <source>interrupted</source>
        <translation>已中断</translation>
    </message>
    <message>
        <source>the acquisition&apos;s state is %1</source>
        <translation>采集状态是 %1</translation>
    </message>
    <message>
        <source>the sweep did not complete (*OPC? answered %1)</source>
        <translation>扫描未完成（*OPC? 回答 %1）</translation>
    </message>
    <message>
        <source>the analyser reports %1</source>
        <translation>分析仪报告 %1</translation>
    </message>
    <message>
        <source>no reply to %1 within %2 ms: the analyser reports %3</source>
        <translation>%2 ms 内 %1 无应答：分析仪报告 %3</translation>
    </message>
    <message>
        <source>the sweep did not finish within %1 ms</source>
        <translation>扫描未在 %1 ms 内完成</translation>
    </message>
    <message>
        <source>The memory was not loaded: %1</source>
        <translation>未载入记忆：%1</translation>
    </message>
    <message>
        <source>whole filter</source>
        <translation>整个滤波器</translation>
    </message>
    <message>
        <source>stage %1</source>
        <translation>第 %1 级</translation>
    </message>
    <message>
        <source>%1 (not of the sweep and inputs on screen)</source>
        <translation>%1（并非屏幕上的扫描和输入的判定）</translation>
    </message>
    <message>
        <source>No verdict: the analyser does not answer</source>
        <translation>无结论：分析仪没有应答</translation>
    </message>
    <message>
        <source>%1: %2. Connecting again.</source>
        <translation>%1：%2。正在重新连接。</translation>
    </message>
    <message>
        <source>Connecting to %1 ...</source>
        <translation>正在连接 %1 ……</translation>
    </message>
    <message>
        <source>Within tolerance: the filter is tuned.</source>
        <translation>在容差之内：滤波器已调好。</translation>
    </message>
    <message>
        <source>%1 (return loss %2 dB).</source>
        <translation>%1（回波损耗 %2 dB）。</translation>
    </message>
    <message>
        <source>The filter is too far from tune to diagnose: tune stage by stage first (varnel-calc check); %1.</source>
        <translation>滤波器离调好太远，无法诊断：请先逐级调试（varnel-calc check）；%1。</translation>
    </message>
    <message>
        <source>; </source>
        <comment>between doubts</comment>
        <translation>；</translation>
    </message>
    <message>
        <source>%1.</source>
        <translation>%1。</translation>
    </message>
    <message>
        <source>the fit puts %1 %2 % of BW off: a resonator far off, or the wrong stage or order; tune stage by stage first</source>
        <translation>拟合得出%1偏离带宽的 %2 %：可能有谐振腔偏离很远，或级数、阶数不对；请先逐级调试</translation>
    </message>
    <message>
        <source>the fit puts %1 %2 % off: a resonator far off, or the wrong stage or order; tune stage by stage first</source>
        <translation>拟合得出%1偏离 %2 %：可能有谐振腔偏离很远，或级数、阶数不对；请先逐级调试</translation>
    </message>
    <message>
        <source>resonator %1</source>
        <translation>第 %1 腔</translation>
    </message>
    <message>
        <source>the input coupling</source>
        <translation>输入耦合</translation>
    </message>
    <message>
        <source>the output coupling</source>
        <translation>输出耦合</translation>
    </message>
    <message>
        <source>coupling %1–%2</source>
        <translation>第 %1–%2 腔间耦合</translation>
    </message>
    <message>
        <source>the fit did not settle: a resonator far off, or the sweep of another stage; tune stage by stage first</source>
        <translation>拟合未收敛：可能有谐振腔偏离很远，或扫描属于另一级；请先逐级调试</translation>
    </message>
    <message>
        <source>the fit does not match the sweep (residual %1, trace noise %2): a resonator far off, the wrong stage or order, or the wrong f0; tune stage by stage first</source>
        <translation>拟合与扫描不符（残差 %1，迹线噪声 %2）：可能有谐振腔偏离很远、级数或阶数不对，或 f0 不对；请先逐级调试</translation>
    </message>
    <message>
        <source>the reflection rises up to +%1 dB above 0 dB: check the calibration and the port</source>
        <translation>反射最高超出 0 dB 达 +%1 dB：请检查校准和端口</translation>
    </message>
    <message>
        <source>the sweep is too narrow to show the stage&apos;s lobes: sweep %1 to %2 MHz</source>
        <translation>扫描太窄，看不到本级的各个峰：请扫描 %1 至 %2 MHz</translation>
    </message>
    <message>
        <source>%1 % of BW</source>
        <translation>带宽的 %1 %</translation>
    </message>
    <message>
        <source>%1 %</source>
        <translation>%1 %</translation>
    </message>
    <message>
        <source>the trace is too noisy for the tolerance (noise %1): %2 is known to +-%3 against a tolerance of %4 %; average sweeps or narrow the IF bandwidth</source>
        <translation>迹线噪声相对容差过大（噪声 %1）：%2 的不确定度为 ±%3，而容差为 %4 %；请对多次扫描取平均或减小中频带宽</translation>
    </message>
    <message>
        <source>Resonator %1 is %2 MHz (%3 % of BW) high: turn it down</source>
        <translation>第 %1 腔偏高 %2 MHz（带宽的 %3 %）：请调低</translation>
    </message>
    <message>
        <source>Resonator %1 is %2 MHz (%3 % of BW) low: turn it up</source>
        <translation>第 %1 腔偏低 %2 MHz（带宽的 %3 %）：请调高</translation>
    </message>
    <message>
        <source>Input coupling: the centre delay is %1 % long: strengthen it</source>
        <translation>输入耦合：中心时延偏长 %1 %：请加强</translation>
    </message>
    <message>
        <source>Input coupling: the centre delay is %1 % short: weaken it</source>
        <translation>输入耦合：中心时延偏短 %1 %：请减弱</translation>
    </message>
    <message>
        <source>Coupling %1–%2: the centre delay is %3 % long: strengthen it</source>
        <translation>第 %1–%2 腔间耦合：中心时延偏长 %3 %：请加强</translation>
    </message>
    <message>
        <source>Coupling %1–%2: the centre delay is %3 % short: weaken it</source>
        <translation>第 %1–%2 腔间耦合：中心时延偏短 %3 %：请减弱</translation>
    </message>
    <message>
        <source>Coupling %1–%2 is %3 % strong: weaken it</source>
        <translation>第 %1–%2 腔间耦合偏强 %3 %：请减弱</translation>
    </message>
    <message>
        <source>Coupling %1–%2 is %3 % weak: strengthen it</source>
        <translation>第 %1–%2 腔间耦合偏弱 %3 %：请加强</translation>
    </message>
    <message>
        <source>Input coupling: Qe %1 % high: strengthen it</source>
        <translation>输入耦合：Qe 偏高 %1 %：请加强</translation>
    </message>
    <message>
        <source>Input coupling: Qe %1 % low: weaken it</source>
        <translation>输入耦合：Qe 偏低 %1 %：请减弱</translation>
    </message>
    <message>
        <source>Output coupling: Qe %1 % high: strengthen it</source>
        <translation>输出耦合：Qe 偏高 %1 %：请加强</translation>
    </message>
    <message>
        <source>Output coupling: Qe %1 % low: weaken it</source>
        <translation>输出耦合：Qe 偏低 %1 %：请减弱</translation>
    </message>
    <message>
        <source>The sweep cannot decide: %1.</source>
        <translation>此扫描无法判定：%1。</translation>
    </message>
    <message>
        <source>The sweep cannot decide: %1; or tune stage by stage first (varnel-calc check).</source>
        <translation>此扫描无法判定：%1；或请先逐级调试（varnel-calc check）。</translation>
    </message>
    <message>
        <source>couplings that vary with frequency explain the sweep as well (slope %1, the ports' %2) and put the elements elsewhere: give the filter's slopes (--coupling-slope, --qe-slope)</source>
        <translation>随频率变化的耦合同样能解释此扫描（斜率 %1，端口 %2），且给出不同的元件状态：请给出滤波器的斜率（--coupling-slope、--qe-slope）</translation>
    </message>
    <message>
        <source>the calibration's residual terms, fitted with the filter, leave %1 known to +-%2 against a tolerance of %3 %; calibrate again at the filter's ports</source>
        <translation>与滤波器一同拟合的校准残余误差项使 %1 的不确定度为 ±%2，而容差为 %3 %；请在滤波器端口处重新校准</translation>
    </message>
    <message>
        <source>below %1 dB</source>
        <translation>低于 %1 dB</translation>
    </message>
    <message>
        <source>Choose a loaded or an open output.</source>
        <translation>请选择输出接负载或开路。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="188"/>
        <source>Within tolerance: go on to stage %1.</source>
        <translation>在容差之内：请继续调第 %1 级。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="191"/>
        <source>Within tolerance: every resonator is tuned.</source>
        <translation>在容差之内：所有谐振腔均已调好。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="211"/>
        <source>Enter the electrical delay in ns (0 for none), with a decimal point.</source>
        <translation>输入以 ns 为单位的电延迟（无则为 0），用小数点。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="213"/>
        <source>Enter a number above 0, with a decimal point.</source>
        <translation>输入大于 0 的数，用小数点。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="215"/>
        <source>Enter a number above 0.</source>
        <translation>输入大于 0 的数。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="217"/>
        <source>The stage must be from %1 to %2.</source>
        <translation>级数必须在 %1 到 %2 之间。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="219"/>
        <source>Choose an S-parameter of the file.</source>
        <translation>请选择文件中的 S 参数。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="221"/>
        <source>Enter frequency steps (2), a percentage of the span (5%) or a width in MHz (1.5MHz).</source>
        <translation>请输入频率步数 (2)、扫宽百分比 (5%) 或以 MHz 表示的宽度 (1.5MHz)。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="226"/>
        <source>The order must be from %1 to %2.</source>
        <translation>腔数应在 %1 到 %2 之间。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="230"/>
        <source>The ripple must be above 0 dB.</source>
        <translation>纹波应大于 0 dB。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="232"/>
        <source>The bandwidth must be above 0 MHz.</source>
        <translation>带宽应大于 0 MHz。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="236"/>
        <source>Run-time error %1: %2</source>
        <translation>运行错误 %1：%2</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="239"/>
        <source>Division by zero</source>
        <translation>除数为零</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="240"/>
        <source>Overflow</source>
        <translation>溢出</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="248"/>
        <source>Stage %1 is beyond the order (%2).</source>
        <translation>第 %1 级超出阶数（%2）。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="251"/>
        <source>A group delay needs at least 2 frequency points.</source>
        <translation>群时延至少需要 2 个频点。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="252"/>
        <source>An aperture of %1 steps needs more than the sweep&apos;s %2 points (at most %3 steps).</source>
        <translation>%1 步的孔径需要多于扫描的 %2 个点（最多 %3 步）。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="318"/>
        <source>The sweep shows %1 of the stage&apos;s %2 lobes: sweep at least 1.5 x BW on either side of f0 (%3 to %4 MHz), or the lobes cannot be read.</source>
        <translation>扫描只显示了本调试级 %2 个峰中的 %1 个：请在 f0 两侧各扫描至少 1.5 倍带宽（%3 至 %4 MHz），否则无法读出这些峰。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="278"/>
        <source>An electrical delay of %1 ns is more than this sweep can take (at most %2 ns up to %3 MHz).</source>
        <translation>%1 ns 的电延时超出了此扫描所能承受的范围（在 %3 MHz 以下最多 %2 ns）。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="284"/>
        <source>The phase is undefined at 1 delay point (|S| is 0 there), at %1 MHz: the sweep cannot be checked.</source>
        <translation>在 %1 MHz 处有 1 个时延点相位无定义（该处 |S| 为 0）：无法检查此扫描。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="288"/>
        <source>The phase is undefined at %1 delay points (|S| is 0 there), the first at %2 MHz: the sweep cannot be checked.</source>
        <translation>有 %1 个时延点相位无定义（该处 |S| 为 0），第一个在 %2 MHz：无法检查此扫描。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="292"/>
        <source>The delay at %1 MHz is not a finite number: the frequencies around it are too close together.</source>
        <translation>%1 MHz 处的时延不是有限数：其附近的频率点靠得太近。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="303"/>
        <source>|%1| is above 0 dB at 1 point (+%2 dB): check the calibration and the port; a passive stage cannot reflect more than it is sent.</source>
        <translation>|%1| 在 1 个点上高于 0 dB（+%2 dB）：请检查校准和端口；无源调试级反射的功率不可能多于输入的功率。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="306"/>
        <source>|%1| is above 0 dB at %2 points (up to +%3 dB): check the calibration and the port; a passive stage cannot reflect more than it is sent.</source>
        <translation>|%1| 在 %2 个点上高于 0 dB（最高 +%3 dB）：请检查校准和端口；无源调试级反射的功率不可能多于输入的功率。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="400"/>
        <source>the file is not ASCII or UTF-8 text (UTF-16 or UTF-32?): save it as ASCII or UTF-8</source>
        <translation>文件不是 ASCII 或 UTF-8 文本（UTF-16 或 UTF-32？）：请另存为 ASCII 或 UTF-8</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="404"/>
        <source>the file kept changing while it was read</source>
        <translation>读取期间文件一直在变化</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="257"/>
        <source>f0 %1 MHz is outside the measured delay (%2 to %3 MHz).</source>
        <translation>f0 %1 MHz 不在测得的时延范围内（%2 至 %3 MHz）。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="267"/>
        <source>%1: the file is not there; waiting for it to be written again.</source>
        <translation>%1：文件不存在；等待重新写入。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="271"/>
        <source>a FIFO</source>
        <translation>一个 FIFO 管道</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="272"/>
        <source>a folder</source>
        <translation>一个文件夹</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="273"/>
        <source>a character device</source>
        <translation>一个字符设备</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="274"/>
        <source>a block device</source>
        <translation>一个块设备</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="275"/>
        <source>a socket</source>
        <translation>一个套接字</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="276"/>
        <source>a special file</source>
        <translation>一个特殊文件</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="280"/>
        <source>%1 is %2, not a regular file: open a Touchstone file.</source>
        <translation>%1 是%2，不是普通文件：请打开 Touchstone 文件。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="293"/>
        <source>cannot tell the number of ports: a version 1 file is named .s1p to .s4p</source>
        <translation>无法确定端口数：1 版文件应命名为 .s1p 至 .s4p</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="297"/>
        <source>the option line has a field that is not a unit, parameter, format or R value</source>
        <translation>选项行中有一项不是单位、参数、格式或 R 值</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="301"/>
        <source>a keyword is missing its value, has a wrong one or is out of place</source>
        <translation>关键字缺少值、值错误或位置不对</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="304"/>
        <source>the file holds data this program does not read</source>
        <translation>文件包含本程序不读取的数据</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="307"/>
        <source>a value is not a decimal number</source>
        <translation>有一个值不是十进制数</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="310"/>
        <source>a data point has too few or too many numbers</source>
        <translation>某个数据点的数字个数不对</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="313"/>
        <source>a frequency is not above the one before it</source>
        <translation>某个频率不高于前一个</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="316"/>
        <source>the number of points differs from the one declared</source>
        <translation>点数与声明的不同</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="319"/>
        <source>there is no network data</source>
        <translation>没有网络数据</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="322"/>
        <source>a line is longer than 1 MiB</source>
        <translation>某行超过 1 MiB</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="325"/>
        <source>a Z or Y matrix has no S equivalent</source>
        <translation>某个 Z 或 Y 矩阵没有对应的 S 参数</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="328"/>
        <source>the file does not have the chosen parameter</source>
        <translation>文件中没有所选参数</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="331"/>
        <source>not a regular file</source>
        <translation>不是普通文件</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="336"/>
        <source>%1, line %2: %3</source>
        <translation>%1，第 %2 行：%3</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="337"/>
        <source>%1: %2</source>
        <translation>%1：%2</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="362"/>
        <source>Varnel tuning</source>
        <translation>Varnel 调试</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="552"/>
        <location filename="../../tuning_window/tune_window.cpp" line="830"/>
        <source>No sweep loaded</source>
        <translation>未载入扫描</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="812"/>
        <source>%1 - Varnel tuning</source>
        <translation>%1 - Varnel 调试</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="827"/>
        <source>No verdict: correct the inputs</source>
        <translation>无结论：请更正输入</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="828"/>
        <source>No verdict: the file does not read</source>
        <translation>无结论：文件无法读取</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="829"/>
        <source>Checking...</source>
        <translation>正在检查……</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="841"/>
        <source>No verdict</source>
        <translation>无判定</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="928"/>
        <source>Reading %1 ...</source>
        <translation>正在读取 %1 ……</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tune_window.cpp" line="985"/>
        <source>Cannot draw the chart as PNG</source>
        <translation>无法将图表绘制为 PNG</translation>
    </message>
    <message>
        <source>Enter the slope as a number (0 for none), or leave it empty to fit it.</source>
        <translation>请输入斜率数值（0 表示无），或留空以拟合。</translation>
    </message>
    <message>
        <source>equivalent coupling matrices of this topology explain the sweep as well (%1 among the entries they differ in): the sweep cannot tell which is the filter&apos;s</source>
        <translation>该拓扑的等效耦合矩阵同样能解释扫描（%1 是它们不同的元素之一）：扫描无法判断哪一个属于该滤波器</translation>
    </message>
    <message>
        <source>from S11 alone the sweep cannot start a fit of its own: a sweep of S11 and S21 lets a filter far from tune be diagnosed</source>
        <translation>仅凭 S11，扫描无法给出自身的拟合起点：同时扫描 S11 和 S21，远离调谐的滤波器也能被诊断</translation>
    </message>
    <message>
        <source>%1; to judge it, diagnose with --topology %2</source>
        <translation>%1；要判断它，请用 --topology %2 诊断</translation>
    </message>
    <message>
        <source>waveguides cut off anywhere from %1 to %2 MHz explain the sweep as well and put the elements elsewhere: give the guide&apos;s cut-off</source>
        <translation>截止频率在 %1 至 %2 MHz 之间的波导都同样能解释扫描，且会把元件放到别处：请给出波导的截止频率</translation>
    </message>
    <message>
        <source>Choose lumped, coaxial or waveguide resonators, or let the sweep choose.</source>
        <translation>请选择集总、同轴或波导谐振器，或由扫描选择。</translation>
    </message>
    <message>
        <source>The cut-off must lie below f0.</source>
        <translation>截止频率必须低于 f0。</translation>
    </message>
    <message>
        <source>A cut-off counts for waveguide resonators only.</source>
        <translation>截止频率只适用于波导谐振器。</translation>
    </message>
    <message>
        <source>A waveguide&apos;s cut-off is fitted from a reflection only: give the cut-off to check a transmission.</source>
        <translation>波导的截止频率只能从反射拟合：检查传输参数时请给出截止频率。</translation>
    </message>
    <message>
        <source>Waveguide cut-off %1 MHz, fitted</source>
        <translation>波导截止频率 %1 MHz，拟合所得</translation>
    </message>
    <message>
        <source>Waveguide cut-off %1 MHz, given</source>
        <translation>波导截止频率 %1 MHz，已给定</translation>
    </message>
    <message>
        <source>a coupling between resonators %1 and %2 of about %3 %</source>
        <translation>谐振器 %1 与 %2 之间约 %3 % 的耦合</translation>
    </message>
    <message>
        <source>a coupling between resonators %1 and %2 of about %3 % (or between %4 and %5 of about %6 %)</source>
        <translation>谐振器 %1 与 %2 之间约 %3 % 的耦合（或 %4 与 %5 之间约 %6 % 的耦合）</translation>
    </message>
    <message>
        <source>%1 explains the sweep; the design has none</source>
        <translation>%1可以解释扫描；设计中没有这一耦合</translation>
    </message>
    <message>
        <source>%1 explains most of the sweep; the design has none</source>
        <translation>%1可以解释扫描的大部分；设计中没有这一耦合</translation>
    </message>
    <message>
        <source>|%1| is above 0 dB at 1 point (+%2 dB): check the calibration and the port.</source>
        <translation>|%1| 在 1 个点上高于 0 dB（+%2 dB）：请检查校准和端口。</translation>
    </message>
    <message>
        <source>|%1| is above 0 dB at %2 points (up to +%3 dB): check the calibration and the port.</source>
        <translation>|%1| 在 %2 个点上高于 0 dB（最高 +%3 dB）：请检查校准和端口。</translation>
    </message>
    <message>
        <source>The sweep&apos;s Qu is beyond measure, not the given %1: the target delay assumes %1.</source>
        <translation>扫描的 Qu 大到无法测定，而不是给定的 %1：目标时延按 %1 计算。</translation>
    </message>
    <message>
        <source>The sweep&apos;s Qu is about %1, not the given %2: the target delay assumes %2.</source>
        <translation>扫描的 Qu 约为 %1，而不是给定的 %2：目标时延按 %2 计算。</translation>
    </message>
    <message>
        <source>The sweep shows the calibration&apos;s residual terms (directivity %1, source match %2): beyond -30 dB, calibrate again at the filter&apos;s ports.</source>
        <translation>扫描显示出校准的残余误差项（方向性 %1，源匹配 %2）：超过 -30 dB，请在滤波器端口处重新校准。</translation>
    </message>
    <message>
        <source>The sweep shows the calibration&apos;s residual terms at port %1 (directivity %2, source match %3): beyond -30 dB, calibrate again at the filter&apos;s ports.</source>
        <translation>扫描显示出端口 %1 的校准残余误差项（方向性 %2，源匹配 %3）：超过 -30 dB，请在滤波器端口处重新校准。</translation>
    </message>
    <message>
        <source>A coupling between resonators %1 and %2 of about %3 % explains the sweep a little better; the design has none, and the findings hold with it.</source>
        <translation>谐振器 %1 与 %2 之间约 %3 % 的耦合能稍好地解释扫描；设计中没有这一耦合，而加上它结论依然成立。</translation>
    </message>
    <message>
        <source>Response</source>
        <translation>响应</translation>
    </message>
    <message>
        <source>Smith chart</source>
        <translation>史密斯圆图</translation>
    </message>
    <message>
        <source>Time domain</source>
        <translation>时域</translation>
    </message>
    <message>
        <source>A time-domain response needs at least 2 sweep points.</source>
        <translation>时域响应至少需要 2 个扫描点。</translation>
    </message>
    <message>
        <source>The frequency steps change at point %1: a time-domain response needs an evenly spaced sweep.</source>
        <translation>频率步进在第 %1 点处改变：时域响应需要等间隔的扫描。</translation>
    </message>
    <message>
        <source>The time range must run forwards and span at most the alias-free range of %1 ns.</source>
        <translation>时间范围必须从小到大，且不超过无混叠范围 %1 ns。</translation>
    </message>
    <message>
        <source>the sweep fits %1 resonators better: give --resonator %2</source>
        <translation>此扫描更符合%1谐振器：请给出 --resonator %2</translation>
    </message>
    <message>
        <source>coaxial</source>
        <translation>同轴</translation>
    </message>
    <message>
        <source>lumped</source>
        <translation>集总</translation>
    </message>
    <message>
        <source>no reply within %1 ms</source>
        <translation>%1 ms 内无应答</translation>
    </message>
    <message>
        <source>no connection within %1 ms</source>
        <translation>%1 ms 内未能连接</translation>
    </message>
    <message>
        <source>the device has gone</source>
        <translation>设备已断开</translation>
    </message>
    <message>
        <source>the analyser closed the connection</source>
        <translation>分析仪关闭了连接</translation>
    </message>
    <message>
        <source>not a serial device</source>
        <translation>不是串口设备</translation>
    </message>
    <message>
        <source>not an analyser&apos;s address</source>
        <translation>不是分析仪地址</translation>
    </message>
    <message>
        <source>no address to connect to</source>
        <translation>没有可连接的地址</translation>
    </message>
</context>
<context>
    <name>varnel::TuningSession</name>
    <message>
        <source>There is no sweep to save.</source>
        <translation>没有可保存的扫描。</translation>
    </message>
    <message>
        <source>Only 1-port and 2-port sweeps are saved as Touchstone.</source>
        <translation>只有 1 端口和 2 端口的扫描可以保存为 Touchstone。</translation>
    </message>
    <message>
        <source>There is no diagnosis yet: open a sweep of the whole filter first.</source>
        <translation>还没有诊断：请先打开整个滤波器的扫描。</translation>
    </message>
    <message>
        <source>The diagnosis on screen is not of the current inputs and sweep: correct the inputs or wait for the diagnosis.</source>
        <translation>屏幕上的诊断不属于当前的输入和扫描：请改正输入或等待诊断完成。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tuning_session.cpp" line="144"/>
        <source>There is no comparison yet: open a sweep first.</source>
        <translation>尚无对比：请先打开扫描。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tuning_session.cpp" line="146"/>
        <source>The comparison on screen is not of the current inputs and sweep: correct the inputs or wait for the check.</source>
        <translation>屏幕上的对比不属于当前输入和扫描：请更正输入或等待检查完成。</translation>
    </message>
    <message>
        <location filename="../../tuning_window/tuning_session.cpp" line="153"/>
        <source>There is no target: correct the inputs first.</source>
        <translation>尚无目标：请先修正输入。</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <location filename="../../app/varnel_tune.cpp" line="19"/>
        <source>Tuning window: the target group delay of a stage with the measured sweep.</source>
        <translation>调试窗口：调试级的目标群时延与测量扫描对比。</translation>
    </message>
    <message>
        <location filename="../../app/varnel_tune.cpp" line="24"/>
        <source>A Touchstone file to open.</source>
        <translation>要打开的 Touchstone 文件。</translation>
    </message>
</context>
<context>
    <name>varnel::SmithPanel</name>
    <message>
        <source>Markers</source>
        <translation>标记</translation>
    </message>
    <message>
        <source>Memory</source>
        <translation>存储</translation>
    </message>
    <message>
        <source>Target</source>
        <translation>目标</translation>
    </message>
    <message>
        <source>Measured</source>
        <translation>实测</translation>
    </message>
    <message>
        <source>Z = %1 %2 j%3 Ω, |Γ| %4 dB</source>
        <translation>Z = %1 %2 j%3 Ω，|Γ| %4 dB</translation>
    </message>
</context>
<context>
    <name>varnel::TimePanel</name>
    <message>
        <source>Dips</source>
        <translation>凹点</translation>
    </message>
    <message>
        <source>Target</source>
        <translation>目标</translation>
    </message>
    <message>
        <source>Measured</source>
        <translation>实测</translation>
    </message>
    <message>
        <source>Time (ns)</source>
        <translation>时间 (ns)</translation>
    </message>
    <message>
        <source>|h| (dB)</source>
        <translation>|h| (dB)</translation>
    </message>
    <message>
        <source>Window</source>
        <translation>窗函数</translation>
    </message>
    <message>
        <source>Rectangle</source>
        <translation>矩形</translation>
    </message>
    <message>
        <source>Hann</source>
        <translation>汉宁</translation>
    </message>
    <message>
        <source>Kaiser, β %1</source>
        <translation>凯泽，β %1</translation>
    </message>
    <message>
        <source>Dips of resonators 1 to %1 marked, window %2</source>
        <translation>已标出谐振器 1 至 %1 的凹点，窗函数 %2</translation>
    </message>
    <message>
        <source>No sweep with this parameter.</source>
        <translation>没有含此参数的扫描。</translation>
    </message>
</context>
<context>
    <name>varnel::VerdictPanel</name>
    <message>
        <source>lossless</source>
        <translation>无损</translation>
    </message>
    <message>
        <source>Against the memory (%1):</source>
        <translation>与记忆（%1）相比：</translation>
    </message>
    <message>
        <source>The memory has no %1.</source>
        <translation>记忆中没有 %1。</translation>
    </message>
    <message>
        <source>The memory cannot be checked: %1</source>
        <translation>无法检查记忆：%1</translation>
    </message>
    <message>
        <source>Delay at f0 %1 ns (%2 %), %3</source>
        <translation>f0 处时延 %1 ns（%2 %），%3</translation>
    </message>
    <message>
        <source>within the tolerance</source>
        <translation>在容差内</translation>
    </message>
    <message>
        <source>outside the tolerance</source>
        <translation>超出容差</translation>
    </message>
    <message>
        <source>|S11| at f0 %1 dB</source>
        <translation>f0 处 |S11| %1 dB</translation>
    </message>
    <message>
        <source>Lobe %1 moved %2 MHz, %3 ns</source>
        <translation>第 %1 峰移动了 %2 MHz、%3 ns</translation>
    </message>
    <message>
        <source>Checking the memory...</source>
        <translation>正在检查记忆...</translation>
    </message>
    <message>
        <source>Verdict</source>
        <translation>判定</translation>
    </message>
    <message>
        <source>No sweep loaded</source>
        <translation>未载入扫描</translation>
    </message>
    <message>
        <source>PASS</source>
        <translation>通过 PASS</translation>
    </message>
    <message>
        <source>FAIL</source>
        <translation>未通过 FAIL</translation>
    </message>
    <message>
        <source>UNCERTAIN</source>
        <translation>无法判定 UNCERTAIN</translation>
    </message>
    <message>
        <source>TOO FAR</source>
        <translation>离调好太远 TOO FAR</translation>
    </message>
    <message>
        <source>No verdict</source>
        <translation>无判定</translation>
    </message>
    <message>
        <source>Delay at f0: measured %1 ns, target %2 ns on the sweep&apos;s points</source>
        <translation>f0 处时延：测量 %1 ns，目标 %2 ns（在扫描点上）</translation>
    </message>
    <message>
        <source>Deviation %1 % (sampled trace); fitted centre delay %2 % against the design, tolerance %3 %</source>
        <translation>偏差 %1 %（采样曲线）；拟合中心时延相对设计 %2 %，容差 %3 %</translation>
    </message>
    <message>
        <source>Deviation %1 % (sampled trace), tolerance %2 %</source>
        <translation>偏差 %1 %（采样曲线），容差 %2 %</translation>
    </message>
    <message>
        <source>|S11| at f0: measured %1 dB, target %2 dB</source>
        <translation>f0 处 |S11|：测量 %1 dB，目标 %2 dB</translation>
    </message>
    <message>
        <source>Lobe %1: %2 ns at %3 MHz (target %4 ns at %5 MHz)</source>
        <translation>第 %1 峰：%2 ns，位于 %3 MHz（目标 %4 ns，位于 %5 MHz）</translation>
    </message>
    <message>
        <source>Stage 1: Qe %1, Qu %2</source>
        <translation>第 1 级：Qe %1，Qu %2</translation>
    </message>
    <message>
        <source>not measurable (|S11| = 1)</source>
        <translation>无法测得 (|S11| = 1)</translation>
    </message>
    <message>
        <source>f0 %1 MHz is outside the sweep (%2 to %3 MHz).</source>
        <translation>f0 %1 MHz 在扫描范围之外（%2 至 %3 MHz）。</translation>
    </message>
    <message>
        <source>The sweep has %1 points; diagnosing this filter needs at least %2.</source>
        <translation>扫描只有 %1 个点；诊断此滤波器至少需要 %2 个点。</translation>
    </message>
    <message>
        <source>Return loss %1 dB in the band (design %2 dB)</source>
        <translation>通带内回波损耗 %1 dB（设计 %2 dB）</translation>
    </message>
    <message>
        <source>Qu %1</source>
        <translation>Qu %1</translation>
    </message>
    <message>
        <source>Port delays %1 ns and %2 ns</source>
        <translation>端口时延 %1 ns 和 %2 ns</translation>
    </message>
    <message>
        <source>Port 1 delay %1 ns</source>
        <translation>端口 1 时延 %1 ns</translation>
    </message>
</context>
<context>
    <name>varnel::Help</name>
    <message>
        <source>&amp;Help</source>
        <translation>帮助(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;About Varnel tuning</source>
        <translation>关于 Varnel 调试(&amp;A)</translation>
    </message>
    <message>
        <source>About Varnel tuning</source>
        <translation>关于 Varnel 调试</translation>
    </message>
    <message>
        <source>varnel-tune %1
Tuning band-pass cavity filters by the group-delay method and a fit of the whole filter.

Licence: GNU General Public License, version 3 or later.
The README: %2</source>
        <translation>varnel-tune %1
以群时延法和整个滤波器的拟合调试带通腔体滤波器。

许可证：GNU 通用公共许可证第 3 版或更高版本。
说明文件 README：%2</translation>
    </message>
</context>
<context>
    <name>varnel::InputPanel</name>
    <message>
        <source>none</source>
        <translation>无</translation>
    </message>
    <message>
        <source>The serial number of the unit on the bench: the journal keeps its sweeps and plans under it</source>
        <translation>工作台上这台滤波器的序列号：调谐日志按它保存扫描和调整方案</translation>
    </message>
    <message>
        <source>Unit serial</source>
        <translation>序列号</translation>
    </message>
    <message>
        <source>1 to 64 printable characters</source>
        <translation>1 到 64 个可打印字符</translation>
    </message>
    <message>
        <source>Transmission zeros</source>
        <translation>传输零点</translation>
    </message>
    <message>
        <source>none: in-line</source>
        <translation>无：直列</translation>
    </message>
    <message>
        <source>The design's transmission zeros in MHz, separated by commas (985, 1015); the whole filter is then diagnosed by its coupling matrix</source>
        <translation>设计的传输零点（MHz），用逗号分隔（985, 1015）；整机滤波器随后按其耦合矩阵诊断</translation>
    </message>
    <message>
        <source>Topology</source>
        <translation>拓扑</translation>
    </message>
    <message>
        <source>folded with zeros, else in-line</source>
        <translation>有零点时为折叠，否则为直列</translation>
    </message>
    <message>
        <source>inline, folded, ct (cascaded triplets), cq (cascaded quadruplets) or the couplings between resonators, such as 1-2,2-3,3-4,1-4</source>
        <translation>inline、folded、ct（级联三元组）、cq（级联四元组）或谐振器之间的耦合，例如 1-2,2-3,3-4,1-4</translation>
    </message>
    <message>
        <source>&amp;Next stage</source>
        <translation>下一调试级(&amp;N)</translation>
    </message>
    <message>
        <source>&amp;Previous stage</source>
        <translation>上一调试级(&amp;P)</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>滤波器</translation>
    </message>
    <message>
        <source>Measurement</source>
        <translation>测量</translation>
    </message>
    <message>
        <source>Order</source>
        <translation>腔数</translation>
    </message>
    <message>
        <source>Bandwidth</source>
        <translation>带宽</translation>
    </message>
    <message>
        <source>MHz</source>
        <translation>MHz</translation>
    </message>
    <message>
        <source>Ripple</source>
        <translation>纹波</translation>
    </message>
    <message>
        <source>dB</source>
        <translation>dB</translation>
    </message>
    <message>
        <source>Band centre f0</source>
        <translation>中心频率 f0</translation>
    </message>
    <message>
        <source>Unloaded Q</source>
        <translation>无载 Q</translation>
    </message>
    <message>
        <source>lossless</source>
        <translation>无损耗</translation>
    </message>
    <message>
        <source>Lumped</source>
        <translation>集总</translation>
    </message>
    <message>
        <source>Coaxial, quarter-wave</source>
        <translation>同轴，四分之一波长</translation>
    </message>
    <message>
        <source>Waveguide, half-wave</source>
        <translation>波导，半波长</translation>
    </message>
    <message>
        <source>Chosen by the sweep</source>
        <translation>由扫描选择</translation>
    </message>
    <message>
        <source>How a resonator&apos;s frequency maps to the prototype&apos;s: lumped, a quarter-wave TEM line (wider bands; repeats at 3 f0) or a waveguide cavity (steeper below the band)</source>
        <translation>谐振器频率到原型频率的映射：集总、四分之一波长 TEM 传输线（适用于较宽频带；在 3 f0 处重复谐振）或波导腔（通带下方更陡）</translation>
    </message>
    <message>
        <source>Resonators</source>
        <translation>谐振腔</translation>
    </message>
    <message>
        <source>As the sweep shows</source>
        <translation>按扫描判断</translation>
    </message>
    <message>
        <source>Loaded</source>
        <translation>接负载</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>开路</translation>
    </message>
    <message>
        <source>At the last stage: the output loaded (the whole filter) or open</source>
        <translation>最后一级：输出接负载（整个滤波器）或开路</translation>
    </message>
    <message>
        <source>Last stage&apos;s output</source>
        <translation>最后一级的输出</translation>
    </message>
    <message>
        <source>Stage by stage</source>
        <translation>逐级调试</translation>
    </message>
    <message>
        <source>Whole filter</source>
        <translation>整个滤波器</translation>
    </message>
    <message>
        <source>Whole filter: the assembled filter&apos;s sweep (S11 and S21, or S11) fitted for every resonator and coupling</source>
        <translation>整个滤波器：对装配好的滤波器的扫描（S11 和 S21，或仅 S11）拟合出每个谐振腔和每个耦合</translation>
    </message>
    <message>
        <source>Tuning</source>
        <translation>调试方式</translation>
    </message>
    <message>
        <source>Stage</source>
        <translation>调试级</translation>
    </message>
    <message>
        <source>No sweep: open a Touchstone file (Ctrl+O) or drop one here.</source>
        <translation>尚无扫描：打开 Touchstone 文件 (Ctrl+O) 或拖放到此处。</translation>
    </message>
    <message>
        <source>Parameter</source>
        <translation>参数</translation>
    </message>
    <message>
        <source>fitted</source>
        <translation>拟合</translation>
    </message>
    <message>
        <source>Aperture</source>
        <translation>孔径</translation>
    </message>
    <message>
        <source>Frequency steps (2), a percentage of the span (5%) or a width in MHz (1.5MHz)</source>
        <translation>频率步数 (2)、扫宽百分比 (5%) 或以 MHz 表示的宽度 (1.5MHz)</translation>
    </message>
    <message>
        <source>Electrical delay (ns)</source>
        <translation>电延时 (ns)</translation>
    </message>
    <message>
        <source>Removed from the phase before the group delay is taken</source>
        <translation>计算群时延前从相位中扣除</translation>
    </message>
    <message>
        <source>Tolerance (%)</source>
        <translation>容差 (%)</translation>
    </message>
    <message>
        <source>The largest deviation of the delay at f0, and of each coupling, that passes</source>
        <translation>可通过的 f0 处时延及各耦合的最大偏差</translation>
    </message>
    <message>
        <source>Resonator tolerance (% of BW)</source>
        <translation>谐振腔容差（带宽的 %）</translation>
    </message>
    <message>
        <source>The largest offset of a resonator from f0 that passes, in % of the bandwidth</source>
        <translation>可通过的谐振腔相对 f0 的最大偏移，以带宽的百分比计</translation>
    </message>
    <message>
        <source>Couplings&apos; slope</source>
        <translation>耦合斜率</translation>
    </message>
    <message>
        <source>k(f) = k0 (f/f0)^P, as the filter&apos;s design gives it; empty: fitted where the sweep shows it</source>
        <translation>k(f) = k0 (f/f0)^P，按滤波器设计给出；留空：在扫描显示时拟合</translation>
    </message>
    <message>
        <source>Ports&apos; slope</source>
        <translation>端口斜率</translation>
    </message>
    <message>
        <source>1/Qe(f) = (f/f0)^P / Qe0, as the filter&apos;s design gives it; empty: fitted where the sweep shows it</source>
        <translation>1/Qe(f) = (f/f0)^P / Qe0，按滤波器设计给出；留空：在扫描显示时拟合</translation>
    </message>
    <message>
        <source>Waveguide cut-off (MHz)</source>
        <translation>波导截止频率 (MHz)</translation>
    </message>
    <message>
        <source>The guide&apos;s cut-off frequency, for waveguide resonators; empty: fitted to the sweep</source>
        <translation>波导的截止频率，用于波导谐振器；留空：由扫描拟合</translation>
    </message>
    <message>
        <source>The trace and the verdict are of the complex average of this many sweeps; 1 takes each sweep as it comes</source>
        <translation>曲线和判定取这么多次扫描的复数平均；1 表示逐次取用每次扫描</translation>
    </message>
    <message>
        <source>Average (sweeps)</source>
        <translation>平均（扫描次数）</translation>
    </message>
    <message>
        <source>%1
The sweep on screen is the file&apos;s previous content.</source>
        <translation>%1
屏幕上的扫描是该文件之前的内容。</translation>
    </message>
    <message>
        <source>No sweep.</source>
        <translation>没有扫描。</translation>
    </message>
    <message>
        <source>1 port</source>
        <translation>1 个端口</translation>
    </message>
    <message>
        <source>%1 ports</source>
        <translation>%1 个端口</translation>
    </message>
    <message>
        <source>%1: %2 points, %3 MHz to %4 MHz, %5</source>
        <translation>%1：%2 个点，%3 MHz 至 %4 MHz，%5</translation>
    </message>
    <message>
        <source>, %1 sweeps/s</source>
        <translation>，每秒 %1 次扫描</translation>
    </message>
    <message>
        <source>, the average of %1 of %2 sweeps</source>
        <translation>，%2 次中已平均 %1 次扫描</translation>
    </message>
</context>
<context>
    <name>varnel::ResponseChart</name>
    <message>
        <source>Transmission zero</source>
        <translation>传输零点</translation>
    </message>
    <message>
        <source>&amp;Reset zoom</source>
        <translation>复位缩放(&amp;R)</translation>
    </message>
    <message>
        <source>Hold the &amp;delay scale</source>
        <translation>保持时延刻度(&amp;D)</translation>
    </message>
    <message>
        <source>Hold the |S11| s&amp;cale</source>
        <translation>保持 |S11| 刻度(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Scales...</source>
        <translation>刻度(&amp;S)……</translation>
    </message>
    <message>
        <source>Scales</source>
        <translation>刻度</translation>
    </message>
    <message>
        <source>|S11| (dB)</source>
        <translation>|S11| (dB)</translation>
    </message>
    <message>
        <source>Hold</source>
        <translation>保持</translation>
    </message>
    <message>
        <source>from</source>
        <translation>从</translation>
    </message>
    <message>
        <source>to</source>
        <translation>到</translation>
    </message>
    <message>
        <source>Frequency (MHz)</source>
        <translation>频率 (MHz)</translation>
    </message>
    <message>
        <source>Group delay (ns)</source>
        <translation>群时延 (ns)</translation>
    </message>
    <message>
        <source>|S| (dB)</source>
        <translation>|S| (dB)</translation>
    </message>
    <message>
        <source>|%1| (dB)</source>
        <translation>|%1| (dB)</translation>
    </message>
    <message>
        <source>%1 MHz, %2 dB</source>
        <translation>%1 MHz，%2 dB</translation>
    </message>
    <message>
        <source>%1 MHz, %2 ns</source>
        <translation>%1 MHz，%2 ns</translation>
    </message>
    <message>
        <source>Group delay of the stage against its target</source>
        <translation>调试级群时延与目标对比</translation>
    </message>
    <message>
        <source>Tolerance band</source>
        <translation>容差带</translation>
    </message>
    <message>
        <source>f0</source>
        <translation>f0</translation>
    </message>
    <message>
        <source>|S11| measured</source>
        <translation>|S11| 测量</translation>
    </message>
    <message>
        <source>|S11| fitted</source>
        <translation>|S11| 拟合</translation>
    </message>
    <message>
        <source>|S21| measured</source>
        <translation>|S21| 测量</translation>
    </message>
    <message>
        <source>|S21| fitted</source>
        <translation>|S21| 拟合</translation>
    </message>
    <message>
        <source>|S11| design</source>
        <translation>|S11| 设计</translation>
    </message>
    <message>
        <source>|S21| design</source>
        <translation>|S21| 设计</translation>
    </message>
    <message>
        <source>Target delay</source>
        <translation>目标时延</translation>
    </message>
    <message>
        <source>Memory delay</source>
        <translation>记忆时延</translation>
    </message>
    <message>
        <source>Memory |S11|</source>
        <translation>记忆 |S11|</translation>
    </message>
    <message>
        <source>Measured delay</source>
        <translation>测量时延</translation>
    </message>
    <message>
        <source>Target |S11|</source>
        <translation>目标 |S11|</translation>
    </message>
    <message>
        <source>Measured |S11|</source>
        <translation>测量 |S11|</translation>
    </message>
</context>
<context>
    <name>varnel::WindowActions</name>
    <message>
        <source>Tools</source>
        <translation>工具</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>文件(&amp;F)</translation>
    </message>
    <message>
        <source>&amp;Open sweep...</source>
        <translation>打开扫描(&amp;O)……</translation>
    </message>
    <message>
        <source>Open sweep</source>
        <translation>打开扫描</translation>
    </message>
    <message>
        <source>Touchstone files (*.s1p *.s2p *.s3p *.s4p *.ts);;All files (*)</source>
        <translation>Touchstone 文件 (*.s1p *.s2p *.s3p *.s4p *.ts);;所有文件 (*)</translation>
    </message>
    <message>
        <source>Open &amp;recent</source>
        <translation>最近打开(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Save comparison as CSV...</source>
        <translation>将对比保存为 CSV(&amp;S)……</translation>
    </message>
    <message>
        <source>Save comparison</source>
        <translation>保存对比</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV 文件 (*.csv)</translation>
    </message>
    <message>
        <source>Export target as .s1p...</source>
        <translation>将目标导出为 .s1p……</translation>
    </message>
    <message>
        <source>Export target curve</source>
        <translation>导出目标曲线</translation>
    </message>
    <message>
        <source>Touchstone files (*.s1p)</source>
        <translation>Touchstone 文件 (*.s1p)</translation>
    </message>
    <message>
        <source>Export chart as PNG...</source>
        <translation>将图表导出为 PNG……</translation>
    </message>
    <message>
        <source>Export chart</source>
        <translation>导出图表</translation>
    </message>
    <message>
        <source>PNG images (*.png)</source>
        <translation>PNG 图像 (*.png)</translation>
    </message>
    <message>
        <source>Export chart as SVG...</source>
        <translation>将图表导出为 SVG……</translation>
    </message>
    <message>
        <source>SVG images (*.svg)</source>
        <translation>SVG 图像 (*.svg)</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>退出(&amp;Q)</translation>
    </message>
    <message>
        <source>&amp;Measurement</source>
        <translation>测量(&amp;M)</translation>
    </message>
    <message>
        <source>&amp;Connect to analyser...</source>
        <translation>连接分析仪(&amp;C)……</translation>
    </message>
    <message>
        <source>&amp;Disconnect</source>
        <translation>断开连接(&amp;D)</translation>
    </message>
    <message>
        <source>&amp;Hold</source>
        <translation>保持(&amp;H)</translation>
    </message>
    <message>
        <source>Store sweep as &amp;memory</source>
        <translation>将扫描存为记忆(&amp;M)</translation>
    </message>
    <message>
        <source>Memory from &amp;file...</source>
        <translation>从文件载入记忆(&amp;F)...</translation>
    </message>
    <message>
        <source>C&amp;lear memory</source>
        <translation>清除记忆(&amp;L)</translation>
    </message>
    <message>
        <source>&amp;Save sweep as Touchstone...</source>
        <translation>将扫描另存为 Touchstone(&amp;S)……</translation>
    </message>
    <message>
        <source>Save sweep</source>
        <translation>保存扫描</translation>
    </message>
    <message>
        <source>Touchstone files (*.s2p)</source>
        <translation>Touchstone 文件 (*.s2p)</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>视图(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Tolerance band</source>
        <translation>容差带(&amp;T)</translation>
    </message>
    <message>
        <source>Verdict against the &amp;memory</source>
        <translation>与记忆比较的结论(&amp;M)</translation>
    </message>
    <message>
        <source>|S11| in dB</source>
        <translation>|S11| (dB)</translation>
    </message>
    <message>
        <source>Mar&amp;kers</source>
        <translation>标记(&amp;K)</translation>
    </message>
    <message>
        <source>Marker at &amp;f0</source>
        <translation>f0 处标记(&amp;F)</translation>
    </message>
    <message>
        <source>Markers at the &amp;lobe peaks</source>
        <translation>峰值处标记(&amp;L)</translation>
    </message>
    <message>
        <source>&amp;Delta to marker 1</source>
        <translation>相对标记 1 的差值(&amp;D)</translation>
    </message>
    <message>
        <source>Move the marker a point &amp;left</source>
        <translation>标记左移一点(&amp;L)</translation>
    </message>
    <message>
        <source>Move the marker a point &amp;right</source>
        <translation>标记右移一点(&amp;R)</translation>
    </message>
    <message>
        <source>Select marker %1</source>
        <translation>选择标记 %1</translation>
    </message>
    <message>
        <source>Re&amp;move the marker</source>
        <translation>删除标记(&amp;M)</translation>
    </message>
    <message>
        <source>&amp;Clear markers</source>
        <translation>清除所有标记(&amp;C)</translation>
    </message>
    <message>
        <source>Memory from file</source>
        <translation>从文件载入记忆</translation>
    </message>
    <message>
        <source>Touchstone files (*.s1p *.s2p *.S1P *.S2P);;All files (*)</source>
        <translation>Touchstone 文件 (*.s1p *.s2p *.S1P *.S2P);;所有文件 (*)</translation>
    </message>
    <message>
        <source>Connecting to %1</source>
        <translation>正在连接 %1</translation>
    </message>
    <message>
        <source>Connected: %1</source>
        <translation>已连接：%1</translation>
    </message>
    <message>
        <source>Connection lost: connecting again</source>
        <translation>连接中断：正在重新连接</translation>
    </message>
    <message>
        <source>Held: the sweep on screen stays</source>
        <translation>已保持：屏幕上的扫描不再更新</translation>
    </message>
    <message>
        <source>Disconnected: the last sweep stays</source>
        <translation>已断开：保留最后一次扫描</translation>
    </message>
    <message>
        <source>Saved %1</source>
        <translation>已保存 %1</translation>
    </message>
</context>
<context>
    <name>varnel::CouplingPanel</name>
    <message>
        <source>A current diagnosis of the whole filter colours each element by its error.</source>
        <translation>整机滤波器的当前诊断按误差为每个元件着色。</translation>
    </message>
    <message>
        <source>Errors in % (resonators' in % of BW): green within the tolerance, red beyond.</source>
        <translation>误差单位为 %（谐振器为带宽的 %）：绿色在容差内，红色超出容差。</translation>
    </message>
    <message>
        <source>No filter: correct the inputs.</source>
        <translation>没有滤波器：请更正输入。</translation>
    </message>
    <message>
        <source>Coupling matrix of the design: %1, order %2.</source>
        <translation>设计的耦合矩阵：%1，%2 阶。</translation>
    </message>
    <message>
        <source>The in-line filter, order %1.</source>
        <translation>直列滤波器，%1 阶。</translation>
    </message>
    <message>
        <source>Its couplings are judged in the whole filter's mode.</source>
        <translation>其耦合在整机滤波器模式下判定。</translation>
    </message>
</context>
<context>
    <name>varnel::JournalDialog</name>
    <message>
        <source>Tuning journal</source>
        <translation>调谐日志</translation>
    </message>
    <message>
        <source>The journal keeps the screws learned for each design and every sweep of each unit: an SQLite file on this bench, created when first used, or a shop&apos;s database shared by its stations, postgresql://USER@HOST[:PORT]/DB. Empty: no journal.</source>
        <translation>调谐日志保存每种设计学到的螺钉灵敏度和每台滤波器的每次扫描：本工作台上的 SQLite 文件（首次使用时创建），或车间各工位共用的数据库 postgresql://USER@HOST[:PORT]/DB。留空：不用日志。</translation>
    </message>
    <message>
        <source>Browse…</source>
        <translation>浏览…</translation>
    </message>
    <message>
        <source>Journals (*.db *.sqlite);;All files (*)</source>
        <translation>日志 (*.db *.sqlite);;所有文件 (*)</translation>
    </message>
</context>
<context>
    <name>varnel::LearnScrewsDialog</name>
    <message>
        <source>Learn screws</source>
        <translation>学习螺钉</translation>
    </message>
    <message>
        <source>Learn</source>
        <translation>学习</translation>
    </message>
    <message>
        <source>Skip this screw</source>
        <translation>跳过此螺钉</translation>
    </message>
    <message>
        <source>Step %1 of %2</source>
        <translation>第 %1 步，共 %2 步</translation>
    </message>
    <message>
        <source>Every screw is learned: the plan now uses them.</source>
        <translation>所有螺钉均已学习：调整方案现在使用它们。</translation>
    </message>
    <message>
        <source>Turn %1 a quarter turn clockwise, let the sweep settle, then press Learn.</source>
        <translation>将 %1 顺时针旋转四分之一圈，待扫描稳定后按“学习”。</translation>
    </message>
    <message>
        <source>Turn %1 back a quarter turn anticlockwise, let the sweep settle, then press Learn.</source>
        <translation>将 %1 逆时针旋回四分之一圈，待扫描稳定后按“学习”。</translation>
    </message>
    <message>
        <source>The sweep is too far from tune to learn from: tune it stage by stage first.</source>
        <translation>扫描离调谐状态太远，无法学习：请先逐级调谐。</translation>
    </message>
    <message>
        <source>Waiting for the diagnosis of the whole filter before the turn.</source>
        <translation>正在等待旋转前整个滤波器的诊断。</translation>
    </message>
    <message>
        <source>Waiting for a sweep after the turn.</source>
        <translation>正在等待旋转后的扫描。</translation>
    </message>
    <message>
        <source>A sweep after the turn is diagnosed: press Learn when it has settled.</source>
        <translation>旋转后的扫描已诊断：稳定后按“学习”。</translation>
    </message>
    <message>
        <source>The two sweeps&apos; diagnoses list other elements: nothing was learned.</source>
        <translation>两次扫描的诊断所列元件不同：未学习任何内容。</translation>
    </message>
    <message>
        <source>%1 learned: %2 %3 a clockwise turn</source>
        <translation>%1 已学习：顺时针每圈 %2 %3</translation>
    </message>
    <message>
        <source>MHz</source>
        <translation>MHz</translation>
    </message>
    <message>
        <source>%</source>
        <translation>%</translation>
    </message>
</context>
<context>
    <name>varnel::PlanArrows</name>
    <message>
        <source>%1 turn</source>
        <translation>%1 圈</translation>
    </message>
    <message>
        <source>clockwise</source>
        <translation>顺时针</translation>
    </message>
    <message>
        <source>anticlockwise</source>
        <translation>逆时针</translation>
    </message>
</context>
<context>
    <name>varnel::PlanPanel</name>
    <message>
        <source>Within tolerance: no turn is needed; the arrows would only trim.</source>
        <translation>已在容差内：无需旋转；箭头所示仅为微调。</translation>
    </message>
    <message>
        <source>The journal %1 cannot be opened: %2</source>
        <translation>无法打开调谐日志 %1：%2</translation>
    </message>
    <message>
        <source>The journal %1 is of another schema: %2</source>
        <translation>调谐日志 %1 的结构版本不同：%2</translation>
    </message>
    <message>
        <source>The journal %1 cannot be written: %2</source>
        <translation>无法写入调谐日志 %1：%2</translation>
    </message>
    <message>
        <source>The journal %1 cannot be read: %2</source>
        <translation>无法读取调谐日志 %1：%2</translation>
    </message>
    <message>
        <source>Journal…</source>
        <translation>日志…</translation>
    </message>
    <message>
        <source>Learn screws…</source>
        <translation>学习螺钉…</translation>
    </message>
    <message>
        <source>Record this sweep</source>
        <translation>记录本次扫描</translation>
    </message>
    <message>
        <source>Turns of the screws</source>
        <translation>螺钉的旋转量</translation>
    </message>
    <message>
        <source>Choose a journal to plan the turns of the screws and keep the unit&apos;s sweeps.</source>
        <translation>请选择调谐日志，以规划螺钉的旋转并保存本台的扫描。</translation>
    </message>
    <message>
        <source>Plans and records are made for in-line designs.</source>
        <translation>调整方案和记录仅适用于直线型设计。</translation>
    </message>
    <message>
        <source>Plans are made in the whole filter&apos;s mode.</source>
        <translation>调整方案在整个滤波器模式下给出。</translation>
    </message>
    <message>
        <source>Waiting for the diagnosis of the sweep on screen.</source>
        <translation>正在等待屏幕上扫描的诊断。</translation>
    </message>
    <message>
        <source>The filter is too far from tune to plan turns: tune it stage by stage first.</source>
        <translation>滤波器离调谐状态太远，无法规划旋转：请先逐级调谐。</translation>
    </message>
    <message>
        <source>No screw is learned for this design yet: learn them with Learn screws.</source>
        <translation>此设计尚未学习任何螺钉：请用“学习螺钉”学习。</translation>
    </message>
    <message>
        <source>No screw to turn.</source>
        <translation>无需旋转螺钉。</translation>
    </message>
    <message>
        <source>Turn the screws as the arrows show, then sweep again.</source>
        <translation>按箭头所示旋转螺钉，然后重新扫描。</translation>
    </message>
    <message>
        <source>Journal: %1</source>
        <translation>日志：%1</translation>
    </message>
    <message>
        <source>Journal: none</source>
        <translation>日志：无</translation>
    </message>
    <message>
        <source>Return loss expected after the plan: %1 dB</source>
        <translation>按方案调整后预计回波损耗：%1 dB</translation>
    </message>
    <message>
        <source>The screws were refined from the last plan&apos;s change.</source>
        <translation>已根据上次方案带来的变化修正螺钉灵敏度。</translation>
    </message>
    <message>
        <source>Resonator %1</source>
        <translation>第 %1 腔</translation>
    </message>
    <message>
        <source>Qe in</source>
        <translation>输入 Qe</translation>
    </message>
    <message>
        <source>Coupling %1–%2</source>
        <translation>耦合 %1–%2</translation>
    </message>
    <message>
        <source>Qe out</source>
        <translation>输出 Qe</translation>
    </message>
    <message>
        <source>Unit %1 over its sweeps</source>
        <translation>序列号 %1 的历次扫描</translation>
    </message>
    <message>
        <source>Enter the unit&apos;s serial to follow its progress.</source>
        <translation>输入序列号以跟踪其调谐进展。</translation>
    </message>
    <message>
        <source>Return loss (dB)</source>
        <translation>回波损耗（dB）</translation>
    </message>
    <message>
        <source>Sweep</source>
        <translation>扫描</translation>
    </message>
    <message>
        <source>Error (tolerances)</source>
        <translation>误差（以容差计）</translation>
    </message>
</context>
</TS>
